// Disk image files as numbered logical sectors: the one reader of every
// disk image file, the recognition of its container by its content (never
// by its name), and for each logical sector where its bytes lie, or why the
// container does not hold it.
//
// Logical sectors:
//   2HD (PC-98, X68000)  1024 bytes; n = (cylinder * 2 + head) * 8 + record - 1
//                        (track t = cylinder * 2 + head, records 1 to 8)
//   Apple II 5.25"       256 bytes; n = track * 16 + DOS 3.3 logical sector
//
// Containers by family, tried in this order:
//   PC-98    NFD revision 0 or 1 ("T98FDDIMAGE.R0" / ".R1" at 0), D88 (its
//            size field equals the file length and its track table points
//            inside the file in order), else the plain volume: FDI (after a
//            4096-byte header, whatever the header holds) or HDM (the bare
//            volume; map_plain_volume asks for that view)
//   X68000   DIM ("DIFC HEADER" at 0xAB), D88, else XDF (the bare volume)
//   Apple II 2MG ("2IMG" at 0), WOZ ("WOZ1" / "WOZ2", FF 0A 0D 0A at 0), NIB
//            (exactly 232,960 bytes), else DSK (DOS 3.3 or ProDOS order)
// The byte layouts are at the top of disk_containers.cpp.
//
// Plain layouts number every whole sector from their data start: FDI, HDM
// and XDF sector n at volume_offset + 1024 * n for each whole 1024-byte
// sector of the file (a trailing part sector is kept but not counted); DSK
// sector s of track t at ((t * 16 + place[s]) * 256) for every such position
// whose 256 bytes lie in the file (up to 256 tracks). 2MG formats 0 and 1
// are the DSK rule over the header's data region.
//
// What is refused and what is a missing sector: damage to the container's
// own framing (a size or offset outside the file, a sector header or sector
// data running past its track or the file, an NFD sector size code above 7,
// a WOZ chunk overrunning the file, a WOZ track whose bits lie outside the
// file or are more than woz_track_bit_limit) refuses the whole image
// with one line, "damaged KIND image 'PATH' (WHAT)\n" (WHAT names the track
// or the part, e.g. "track 12", "truncated", "chunk TRKS"); a valid
// container of another geometry (DIM media type other than 2HD, 2MG format
// above 2, a 3.5" WOZ) gives "unsupported KIND image 'PATH' (WHAT)\n".
// Damage that touches single sectors keeps the image and marks the sectors
// (sector_state): a track the container does not hold, a sector id not in
// its track, a sector of another size, two sectors with one id (both
// dropped: the right one cannot be told), and on a nibble track a sector
// without a readable address field, or whose data field is missing, holds
// a nibble outside the 6-and-2 table or fails its checksum. Callers report
// a missing sector they need with print_sector_fault. D88 sectors whose
// cylinder or head id differs from their track are not sectors of that
// track (a controller seeking there would not find them); the FDC status
// and deleted-data bytes are not looked at. The WOZ CRC is not checked:
// damage shows in the sector checksums and costs only the sectors it hits.
//
// Memory: the file (at most 4 MiB) plus, for NIB and WOZ, 160 KB of decoded
// sectors; a WOZ track may hold at most 131,072 bits (2.5 times a real
// track), so no input costs more than that.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Image files above this are refused before anything is allocated.
inline constexpr std::int64_t disk_file_limit = 4 * 1024 * 1024;

inline constexpr std::int32_t fdi_header_bytes = 4096;
inline constexpr std::int32_t hdm_file_bytes = 1261568;  // 77 x 2 x 8 sectors of 1024
inline constexpr std::int32_t nib_file_bytes = 232960;   // 35 tracks of 6656 nibbles
inline constexpr int nib_track_bytes = 6656;
inline constexpr int apple_track_sectors = 16;
inline constexpr int apple_track_data = 4096;
inline constexpr int woz_track_bit_limit = 131072;

enum class disk_family { pc98, x68k, apple2 };

enum class container_kind { fdi, hdm, xdf, d88, nfd, dim, dsk, image_2mg, nib, woz };

// Why a logical sector cannot be used (present: it can).
enum class sector_state : std::uint8_t { present, absent, wrong_size, unreadable, duplicate };

struct sector_place {
  std::int32_t offset = 0;  // first byte, in file_bytes or (decoded) decoded_bytes
  sector_state state = sector_state::absent;
};

// An image file with its container recognised and its sectors placed.
struct disk_container {
  container_kind kind = container_kind::fdi;
  disk_family family = disk_family::pc98;
  std::string path;                         // names the image in messages
  std::vector<std::uint8_t> file_bytes;     // the whole file; saved back whole
  std::vector<std::uint8_t> decoded_bytes;  // NIB and WOZ: 4096 bytes a track, logical order
  bool decoded = false;                     // sectors lie in decoded_bytes (read only)
  std::int32_t sector_bytes = 0;            // 1024 or 256
  std::vector<sector_place> sectors;        // by logical sector number
  std::int32_t data_offset = 0;             // plain layouts and 2MG: where the numbering starts
  std::int32_t data_length = 0;             // and the bytes it covers
  int sector_order = 0;                     // DSK and 2MG: 1 DOS 3.3, 2 ProDOS; else 0
  bool write_protected = false;             // D88 byte 0x1A or NFD byte 0x114 not zero
};

// Reads the whole file at `path` into `bytes`. 0, or -1 after one line:
// "open error '%s'\n" (cannot be opened, or a folder), "seek error '%s'
// (SEEK_END)\n" / "(SEEK_SET)\n", "memory exhaust!\n" (longer than 2 GiB - 1,
// or no memory), "disk image too large '%s'\n" (above disk_file_limit),
// "read error '%s'\n" (the read fell short).
int read_disk_file(std::vector<std::uint8_t>& bytes, const std::string& path);

// Takes `bytes` as the image file at `path`, recognises its container for
// `family` and places its sectors (plain PC-98 files as FDI, DSK in DOS 3.3
// order, 2MG in its header's order). 0, or -1 after the "damaged" or
// "unsupported" line (or "memory exhaust!\n"), with the record cleared.
int open_disk_container(disk_container& disk, std::vector<std::uint8_t> bytes,
                        const std::string& path, disk_family family);

// read_disk_file, then open_disk_container.
int load_disk_container(disk_container& disk, const std::string& path, disk_family family);

// Places the sectors of a plain 2HD file as `kind` lays them out: a PC-98
// file as an FDI or an HDM, an X68000 file as an XDF. Other containers and
// other kinds are left as they are.
void map_plain_volume(disk_container& disk, container_kind kind);

// Places the sectors of a DSK, or of a 2MG holding sectors, in DOS 3.3 (1)
// or ProDOS (2) order. Other containers, and other orders, are left as they are.
void map_apple_order(disk_container& disk, int sector_order);

// The bytes of logical sector n (sector_bytes of them), or null when the
// container does not hold it usable. The writable form is also null for
// the read-only containers (NIB, WOZ, 2MG holding nibbles).
const std::uint8_t* find_sector(const disk_container& disk, std::int32_t n);
std::uint8_t* find_writable_sector(disk_container& disk, std::int32_t n);

// Prints why sector n cannot be used: "sector error '%s' track %d sector %d:
// %s\n" with the image's path, the track and sector (2HD: cylinder * 2 +
// head, record 1 to 8; Apple II: track, DOS 3.3 logical sector) and
// "absent", "wrong size", "unreadable" or "duplicate"; nothing for a
// sector that can be used.
void print_sector_fault(const disk_container& disk, std::int32_t n);

// Writes file_bytes whole to `path` through replace_file: every byte that
// is not sector data is as it was read. 0, or -1 after replace_file's line.
int save_disk_container(const disk_container& disk, const std::string& path);

// The container's name in messages and listings: "FDI", "D88", "2MG", ...
const char* name_container(container_kind kind);

// Decodes one whole Apple II track (track number `track`) from a nibble
// stream as the disk controller reads it, wrapping round at the end:
// address fields D5 AA 96 (4-and-4 volume, track, sector, checksum) whose
// track is `track` and sector below 16, and after each, within 64 nibbles,
// its data field D5 AA AD (343 6-and-2 nibbles). Logical sector s (physical
// sector p holds dos_physical_to_logical[p]) goes to out[256 * s], its
// state to states[s]: present, unreadable (no good address field, or a bad
// data field) or duplicate. Two forms of stream:
//   nibbles: one nibble a byte (NIB), nibble i = bytes[i mod size];
//   bits:    bit_count bits, most significant bit of each byte first (WOZ);
//            a nibble is the 8 bits from the next 1 bit on, and reading
//            starts 8192 bits (or one turn) early to fall into step.
void decode_nibble_track(std::span<const std::uint8_t> nibbles, int track,
                         std::span<std::uint8_t, apple_track_data> out,
                         std::array<sector_state, apple_track_sectors>& states);
void decode_bit_track(std::span<const std::uint8_t> bits, std::int64_t bit_count, int track,
                      std::span<std::uint8_t, apple_track_data> out,
                      std::array<sector_state, apple_track_sectors>& states);

// Tables (disk_tables.cpp).
// The plain layouts: sectors of one size one after another from a data
// start (a DSK places the 16 sectors of each track in its sector order).
struct plain_layout {
  container_kind kind;
  std::int32_t data_offset;
  std::int32_t sector_bytes;
};
extern const std::array<plain_layout, 4> plain_layouts;  // FDI, HDM, XDF, DSK
const plain_layout& find_plain_layout(container_kind kind);
// 6-and-2 code: the disk nibble of each 6-bit value, and the value of each
// nibble (0xFF for a byte that is no 6-and-2 nibble).
extern const std::array<std::uint8_t, 64> gcr62_nibbles;
extern const std::array<std::uint8_t, 256> gcr62_values;
// The DOS 3.3 logical sector that physical sector p of a track holds.
extern const std::array<std::uint8_t, 16> dos_physical_to_logical;
// The place in a DSK track of DOS 3.3 logical sector s, in DOS 3.3 order
// (identity) and in ProDOS order.
extern const std::array<std::uint8_t, 16> dsk_dos_places;
extern const std::array<std::uint8_t, 16> dsk_prodos_places;
