// Apple II 140 KB disk images holding a DOS 3.3 volume, the hi-res tile
// renderer, and the a2tiles program that turns the two shape files of such
// an image into a 4-bit BMP tile sheet.
//
// Disk image: tracks of 16 sectors of 256 bytes, in one of the containers
// the disk library reads for the Apple II (DSK/DO/PO, 2MG, NIB, WOZ), which
// gives sector s of track t as its logical sector t * 16 + s. In a DSK (and
// a 2MG holding sectors) it starts at (t * 16 + sector_map[s]) * 256 of the
// data, sector_map being dos_sector_map (identity) or prodos_sector_map;
// NIB and WOZ hold disk nibbles, decoded into DOS 3.3 sectors whatever the
// order asked for.
//   VTOC         track 17, sector 0
//   catalog      chain from track 17, sector 15:
//                  1-2 next catalog track/sector (track 0 ends the chain)
//                  11 + 35k, k = 0..6: file entry of 35 bytes
//                    0 T/S list track (0xFF deleted), 1 T/S list sector,
//                    2 file type (bit 7 locked), 3-32 name (bit 7 set,
//                    padded with 0xA0), 33-34 sector count (LE)
//   T/S list     1-2 next T/S list track/sector (track 0 ends the chain),
//                5-6 number of the first file sector it describes (LE),
//                12 + 2k, k = 0..121: data sector track and sector
// First data sector of a file, by file type (low 7 bits):
//   0x01, 0x02   u16 length at 0, data from 2
//   0x04         u16 load address at 0, u16 length at 2, data from 4
//   0x10         u16 length at 2, data from 6
//   other        no header, the length is unknown
//
// Shape files: two files of 4096 bytes; byte 256 * r + t of the first holds
// the left-hand hi-res byte of row r of tile t, the second the right-hand
// byte. A hi-res byte lights dot i (0 = leftmost) with bit i, i = 0..6; bit 7
// selects the green/pink (0) or orange/blue (1) colour group.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/disk.h"

// ---------------------------------------------------------------------------
// Disk image access

inline constexpr int apple_sector_bytes = 256;
inline constexpr int apple_track_bytes = 4096;
inline constexpr int apple_catalog_track = 17;
inline constexpr int apple_catalog_entries = 7;  // file entries per catalog sector
inline constexpr int apple_ts_pairs = 122;       // data sectors per T/S list sector
inline constexpr int apple_name_bytes = 30;

// Place of DOS 3.3 sector s within its track in a DSK: the disk library's
// two orders.
using apple_sector_map = std::array<std::uint8_t, 16>;
inline const apple_sector_map& dos_sector_map = dsk_dos_places;
inline const apple_sector_map& prodos_sector_map = dsk_prodos_places;

// Track 17, sector 0, field by field (multi-byte fields decoded LE).
struct apple_vtoc {
  std::uint8_t unused0 = 0;
  std::uint8_t first_catalog_track = 0;
  std::uint8_t first_catalog_sector = 0;
  std::uint8_t dos_release = 0;
  std::array<std::uint8_t, 2> unused4{};
  std::uint8_t volume_number = 0;
  std::array<std::uint8_t, 32> unused7{};
  std::uint8_t ts_pairs_per_sector = 0;
  std::array<std::uint8_t, 8> unused40{};
  std::uint8_t last_track_allocated = 0;
  std::uint8_t allocation_direction = 0;
  std::array<std::uint8_t, 2> unused50{};
  std::uint8_t tracks_per_disk = 0;
  std::uint8_t sectors_per_track = 0;
  std::uint16_t bytes_per_sector = 0;
  std::array<std::uint32_t, 50> free_sector_maps{};
};

struct apple_ts_pair {
  std::uint8_t track = 0;
  std::uint8_t sector = 0;
};

// One T/S list sector. Each is parsed once into apple_disk::ts_lists,
// however many files' chains pass through it.
struct ts_list {
  std::uint8_t first_byte = 0;
  std::uint8_t next_track = 0;
  std::uint8_t next_sector = 0;
  std::array<std::uint8_t, 2> bytes3_4{};
  std::uint16_t sector_offset = 0;
  std::array<std::uint8_t, 5> reserved{};
  std::array<apple_ts_pair, apple_ts_pairs> pairs{};
  int next = -1;  // index of the next list of the chain, -1 at its end
};

// One 35-byte catalog entry and where its T/S list chain starts in
// apple_disk::ts_lists (-1 until read, and after a failed read).
struct file_entry {
  int first_ts_list = -1;
  std::uint8_t ts_list_track = 0;
  std::uint8_t ts_list_sector = 0;
  std::uint8_t file_type = 0;
  std::array<std::uint8_t, apple_name_bytes> name{};
  std::uint16_t sector_count = 0;
};

struct catalog_sector {
  std::uint8_t first_byte = 0;
  std::uint8_t next_track = 0;
  std::uint8_t next_sector = 0;
  std::array<std::uint8_t, 8> reserved{};
  std::array<file_entry, apple_catalog_entries> entries{};
};

// A loaded image with its catalog chain in disk order and every T/S list
// sector that a file's chain reached, each stored once.
struct apple_disk {
  apple_vtoc vtoc;
  std::vector<catalog_sector> catalog;
  std::vector<ts_list> ts_lists;
  const apple_sector_map* sector_map = nullptr;  // the order in use (NIB, WOZ: DOS 3.3)
  int sector_order = 0;  // 0 detect, 1 DOS 3.3 order, 2 ProDOS order
  int track_count = 0;   // whole tracks of sector data
  disk_container container;  // the image file and the place of each sector
};

// Reads the image file whole and decodes it with decode_apple_disk; an
// empty file prints "read error '%s'\n".
int load_apple_disk(apple_disk& disk, const std::string& path, int sector_order);

// Takes `bytes` as the whole image file (`path` only names it in messages),
// opens its container, settles the sector order, walks the catalog and
// reads every file's T/S lists. The order: a DSK's is `sector_order`, or
// with 0 the one whose catalog chain holds more sectors (DOS 3.3 order on a
// tie); a 2MG's is its header's unless 1 or 2 is given; NIB and WOZ sectors
// come in DOS 3.3 order. 0 when the catalog was found, else -1 (after the
// container's line, "disk image size error\n" for fewer than 18 whole
// tracks, or "can't get catalog '%s'\n"). A T/S list chain that cannot be
// read costs only the lists of that entry. A sector the container holds but
// cannot read (NIB, WOZ) is reported with its "sector error" line whenever
// it is needed, and is then taken as outside the image.
int decode_apple_disk(apple_disk& disk, std::vector<std::uint8_t> bytes, const std::string& path,
                      int sector_order);

// The first catalog entry whose 30 name bytes equal `name` (up to its first
// NUL, at most 30 characters) with bit 7 set on each character and 0xA0
// padding; null when there is none. Case and control characters count.
const file_entry* find_apple_file(const apple_disk& disk, std::string_view name);

// Copies the named file's data (after its length header) into `buffer`,
// zero-filling it first. Returns the count copied (0 to buffer.size()), or
// -1 for a missing file ("file not found '%s'\n") or one without T/S lists
// or data sectors. Never reads outside the image or past the list chain.
int read_apple_file(const apple_disk& disk, std::string_view name, std::span<std::uint8_t> buffer);

// Releases the image and the catalog and clears the record.
void free_apple_disk(apple_disk& disk);

// ---------------------------------------------------------------------------
// Hi-res renderer

// Hi-res colour indices, the values the renderer writes.
inline constexpr std::uint8_t hires_black = 0;
inline constexpr std::uint8_t hires_pink = 1;
inline constexpr std::uint8_t hires_green = 2;
inline constexpr std::uint8_t hires_blue = 3;
inline constexpr std::uint8_t hires_orange = 4;
inline constexpr std::uint8_t hires_white = 5;
inline constexpr int hires_color_count = 6;

inline constexpr int color_mono = 0;
inline constexpr int color_no_white = 1;
inline constexpr int color_blur = 2;
inline constexpr int color_no_blur = 3;

// 24 hi-res indices: dot i of a byte takes entry start + i, where start is
// 0 / 8 (left-hand byte, palette bit 0 / 1), 1 / 9 (right-hand byte), 16 (mono).
extern const std::array<std::uint8_t, 24> phase_colors;

// 16 entries of blue, green, red, 0.
extern const std::array<std::uint8_t, 64> hires_palette;
extern const std::array<std::uint8_t, 64> digital_palette;

// By hi-res index: the ega_palette index, and the two colours a dither
// alternates (indices into ega_palette or digital_palette).
using dither_pair_table = std::array<std::array<std::uint8_t, 2>, hires_color_count>;
extern const std::array<std::uint8_t, hires_color_count> hires_to_ega;
extern const dither_pair_table ega_dither_pairs;
extern const dither_pair_table digital_dither_pairs;

// "S", 0x01, "HP0" and "S", 0x01, "HP1": the left-hand and right-hand files.
inline constexpr int shape_file_bytes = 4096;
extern const std::array<std::string_view, 2> shape_file_names;

// The command line of a2tiles.
struct render_options {
  std::string disk_image_name = "KVboot.dsk";
  std::optional<std::string> output_name;
  int sector_order = 0;
  int tile_width = 14;  // 14, or 16 for a centred tile with a black border
  int scale = 1;        // 1, or 2 for every dot drawn as two pixels, rows twice
  bool half_shift = false;
  int dither = 0;  // 0 none, 1 stripe, 2 cross
  bool ega = false;
  int color_mode = color_blur;
};

// Output pixels of one tile cell; half_width and left_offset are the cell
// columns where the right-hand and the left-hand byte start.
struct render_geometry {
  int cell_width = 14;
  int cell_height = 16;
  int half_width = 7;
  int left_offset = 0;
};

render_geometry compute_render_geometry(const render_options& options);

// One output row of one tile cell; entries 0 to cell_width - 1 are used.
using row_buffer = std::array<std::uint8_t, 32>;

// Draws the lit dots of one tile row in their phase colours (half-shifted
// dots of palette-bit-1 bytes with options.half_shift at scale 2).
void decode_shape_row(std::uint8_t left, std::uint8_t right, const render_options& options,
                      const render_geometry& geometry, row_buffer& row);

// Turns lit entries with lit neighbours white: at scale 1 one lit neighbour
// suffices, at scale 2 both must be lit.
void blend_white(row_buffer& row, int cell_width, int scale);

// Fills dark gaps from their neighbours (run after blend_white).
void blur_row(row_buffer& row, int cell_width, int half_width, int scale);

// decode_shape_row followed by the filters options.color_mode asks for.
void render_shape_row(std::uint8_t left, std::uint8_t right, const render_options& options,
                      const render_geometry& geometry, row_buffer& row);

// Renders all 256 tiles of the two shape files (`shapes` holds the first
// file, then the second: 8192 bytes) into a canvas of 16 x 16 cells.
std::vector<std::uint8_t> render_tile_sheet(std::span<const std::uint8_t> shapes,
                                            const render_options& options,
                                            const render_geometry& geometry);

// Replaces every hi-res index by its ega_palette index.
void remap_to_ega(std::span<std::uint8_t> canvas);

// Replace every hi-res index by the first colour of its pair where x (stripe)
// or x + y (cross) is even, else by the second.
void dither_stripe(std::span<std::uint8_t> canvas, int width, int height,
                   const dither_pair_table& pairs);
void dither_cross(std::span<std::uint8_t> canvas, int width, int height,
                  const dither_pair_table& pairs);

// The final conversion of a rendered sheet that the options ask for, and
// the palette the converted sheet is written with. A mono sheet is never
// converted and always shows its lit pixels white.
void convert_tile_sheet(std::span<std::uint8_t> canvas, const render_options& options,
                        const render_geometry& geometry);
const std::array<std::uint8_t, 64>& choose_sheet_palette(const render_options& options);

int run_a2tiles(int argc, char** argv);
