// FAT12 floppy images of one fixed geometry, as PC-98 FDI (a 4096-byte
// header, then the volume) and X68000 XDF (the bare volume) files hold them.
//
// Volume layout, relative to volume_offset (1 sector = 1 cluster = 1024 bytes):
//   0      boot sector               (not read)
//   1024   first FAT copy, 2 sectors (decoded at load)
//   3072   second FAT copy           (never read or written)
//   5120   root directory, 6 sectors, 192 entries of 32 bytes
//   11264  data area: cluster n starts at 9216 + 1024 * n
// Directory entry: bytes 0-10 name (8 + 3, blank padded, no dot; first
// byte 0x00 or 0xE5 for a free slot), 11 attributes (0x08 volume label,
// 0x10 folder), 26-27 first cluster (u16 LE), 28-31 file size (u32 LE).
// A folder's clusters hold such entries, 32 to a cluster, along its chain;
// the first two, "." and "..", name the folder itself and its parent.
// FAT12: entries 2k and 2k+1 share three bytes b0 b1 b2; with
// v = b0 | b1 << 8 | b2 << 16 they are v & 0xFFF and v >> 12.
//
// Every operation prints its own one-line message on failure and returns -1.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

inline constexpr std::int32_t fdi_volume_offset = 4096;
inline constexpr std::int32_t xdf_volume_offset = 0;

// A FAT12 image loaded whole into memory, with its first FAT decoded.
struct disk_image {
  std::int32_t volume_offset = 0;
  std::int32_t image_size = 0;
  std::vector<std::uint8_t> image_data;
  std::int32_t fat_count = 0;    // whole 1024-byte sectors in the volume
  std::vector<std::int32_t> fat; // entry n: the cluster after cluster n
};

// A directory slot found by name.
struct dir_entry {
  std::int32_t slot_offset = 0;  // byte position of the slot in image_data
  std::uint16_t first_cluster = 0;
  std::uint32_t size = 0;
};

// Reads the image file whole and decodes it with decode_disk_image. 0, or
// -1 with the record cleared.
int load_disk_image(disk_image& image, const std::string& path, std::int32_t volume_offset);

// Takes `bytes` as the whole image file and decodes its FAT; `path` only
// names the image in messages. 0, or -1 with the record cleared; an image
// shorter than volume_offset + 11264 bytes (no complete system area) is
// refused with "disk image too small '%s'\n".
int decode_disk_image(disk_image& image, std::vector<std::uint8_t> bytes, const std::string& path,
                      std::int32_t volume_offset);

// Decodes the first FAT copy into (size - volume_offset) / 1024 entries.
// 0, or -1 when the table cannot be made.
int decode_fat(std::span<const std::uint8_t> image_data, std::int32_t volume_offset,
               std::vector<std::int32_t>& fat);

// Turns "name.ext" into the 11-character directory form plus a terminating
// zero, case unchanged. 0, or -1 when the name does not fit 8.3.
int make_dos_filename(std::array<char, 12>& out, const std::string& name);

// Finds the first of the 192 root directory slots whose name equals the
// 11-character `dos_name` (ASCII case ignored when `ignore_case`). 0 with
// `entry` filled, or -1 (no message).
int find_dir_entry(const disk_image& image, const std::array<char, 12>& dos_name, bool ignore_case,
                   dir_entry& entry);

// Copies buffer.size() bytes of the named file out along its cluster chain.
int read_image_file(const disk_image& image, const std::string& name, std::span<std::uint8_t> buffer,
                    bool ignore_case);

// Overwrites the first data.size() bytes of the named file in place along
// its existing chain; the FAT and the directory are never changed. The whole
// chain is checked first: a cluster that comes twice, or that belongs to
// the chain of another entry in use in the root directory or in any folder
// reachable from it, prints "fat error '%s'\n" and nothing is written.
int write_image_file(disk_image& image, const std::string& name, std::span<const std::uint8_t> data,
                     bool ignore_case);

// Writes the whole image to `path` with replace_file: a failure leaves an
// existing file as it was. Messages name `path`: "open error '%s'\n" when
// it cannot be created or opened, "write error '%s'\n" when writing,
// flushing, closing or renaming fails.
int save_disk_image(const disk_image& image, const std::string& path);

// Releases the buffers and clears the record.
void free_disk_image(disk_image& image);
