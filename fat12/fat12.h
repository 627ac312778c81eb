// FAT12 floppy volumes of one fixed geometry in the disk containers of the
// PC-98 (FDI, D88, NFD, HDM) and X68000 (XDF, DIM, D88) tools. The disk
// library reads the file and places its logical sectors; volume sector n is
// logical sector n, so a volume byte position p lies in sector p / 1024.
//
// Volume layout (1 sector = 1 cluster = 1024 bytes):
//   0      boot sector               (not read)
//   1024   first FAT copy, 2 sectors (decoded at load)
//   3072   second FAT copy           (never read or written)
//   5120   root directory, 6 sectors, 192 entries of 32 bytes
//   11264  data area: cluster n starts at 9216 + 1024 * n (sector n + 9)
// Directory entry: bytes 0-10 name (8 + 3, blank padded, no dot; first
// byte 0x00 or 0xE5 for a free slot), 11 attributes (0x08 volume label,
// 0x10 folder), 26-27 first cluster (u16 LE), 28-31 file size (u32 LE).
// A folder's clusters hold such entries, 32 to a cluster, along its chain;
// the first two, "." and "..", name the folder itself and its parent.
// FAT12: entries 2k and 2k+1 share three bytes b0 b1 b2; with
// v = b0 | b1 << 8 | b2 << 16 they are v & 0xFFF and v >> 12.
//
// A sector the container lacks (an absent track or sector, one of another
// size) costs only what needs it: a root directory sector's slots are not
// searched, a file whose chain needs such a cluster is neither read nor
// written; each prints the disk library's "sector error" line.
//
// Every operation prints its own one-line message on failure and returns -1.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disk/disk.h"

// A FAT12 volume in its image file, with its first FAT decoded.
struct disk_image {
  disk_container container;       // the file and the place of each sector
  std::int32_t fat_count = 0;     // sectors of the volume (FDI, XDF: whole ones)
  std::vector<std::int32_t> fat;  // entry n: the cluster after cluster n
};

// A directory slot found by name.
struct dir_entry {
  std::int32_t slot_offset = 0;  // byte position of the slot in the volume
  std::uint16_t first_cluster = 0;
  std::uint32_t size = 0;
};

// Reads the image file whole (read_disk_file) and decodes it with
// decode_disk_image. 0, or -1 with the record cleared.
int load_disk_image(disk_image& image, const std::string& path, disk_family family);

// Takes `bytes` as the whole image file of a PC-98 or X68000 tool, opens
// its container and decodes the FAT; `path` only names the image in
// messages. 0, or -1 with the record cleared: after the container's line,
// "disk image too small '%s'\n" for fewer than 11 sectors (no whole system
// area; for FDI and XDF the file lengths refused before), or the "sector
// error" line of a missing FAT sector.
int decode_disk_image(disk_image& image, std::vector<std::uint8_t> bytes, const std::string& path,
                      disk_family family);

// Decodes the first FAT copy into one entry a sector of the volume, from
// the volume's bytes after the boot sector (those of missing sectors read
// as 0). 0, or -1 after "memory exhaust!" when the table cannot be made.
int decode_fat(const disk_container& container, std::vector<std::int32_t>& fat);

// Loads the image at `path` and reads the shape file `name` whole into
// `buffer`, as the four PC-98 and X68000 programs do: after the library's
// line, "read disk image error %s\n" (the image) or "read disk image error
// %s/%s\n" (the file). A PC-98 file of exactly 1,261,568 bytes in whose FDI
// view no `name` is found is taken as an HDM, the bare volume. 0 or -1.
int load_shape_file(disk_image& image, const std::string& path, disk_family family,
                    const std::string& name, std::span<std::uint8_t> buffer);

// Turns "name.ext" into the 11-character directory form plus a terminating
// zero, case unchanged. 0, or -1 when the name does not fit 8.3.
int make_dos_filename(std::array<char, 12>& out, const std::string& name);

// Finds the first of the 192 root directory slots whose name equals the
// 11-character `dos_name` (ASCII case ignored when `ignore_case`); slots
// of a missing sector are skipped. 0 with `entry` filled, or -1 (no message).
int find_dir_entry(const disk_image& image, const std::array<char, 12>& dos_name, bool ignore_case,
                   dir_entry& entry);

// Copies buffer.size() bytes of the named file out along its cluster chain.
int read_image_file(const disk_image& image, const std::string& name, std::span<std::uint8_t> buffer,
                    bool ignore_case);

// Overwrites the first data.size() bytes of the named file in place along
// its existing chain; the FAT and the directory are never changed. The whole
// chain is checked first: a cluster that comes twice, or that belongs to
// the chain of another entry in use in the root directory or in any folder
// reachable from it, prints "fat error '%s'\n", and a cluster whose sector
// the container lacks its "sector error" line; then nothing is written.
int write_image_file(disk_image& image, const std::string& name, std::span<const std::uint8_t> data,
                     bool ignore_case);

// Writes the whole image file, in its own container, to `path` with
// replace_file: a failure leaves an existing file as it was. An image whose
// write-protect flag is set (D88, NFD) first prints "write protected image
// '%s' ... ignored\n" with its own name. Messages name `path`: "open error
// '%s'\n" when it cannot be created or opened, "write error '%s'\n" when
// writing, flushing, closing or renaming fails.
int save_disk_image(const disk_image& image, const std::string& path);

// Releases the buffers and clears the record.
void free_disk_image(disk_image& image);
