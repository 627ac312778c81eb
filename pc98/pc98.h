// PC-98 shape files ("ocshape.pat" on disk 1, "swshape.pat" on disk 2), the
// 16 x 23 tile sheet of 32 x 32 cells, and the sheet and mask palettes that
// the X68000 tools share.
//
// Tile record: 3 or 4 bit planes of 128 bytes each, no header. A plane is
// 32 rows from the top, 4 bytes a row, bit 7 of a byte the leftmost pixel.
//   3 planes: colour bits 1 (blue), 2 (red), 4 (green)
//   4 planes: colour bit 8 (mask), then 1, 2, 4
// The plane count of a record comes from pc98_shape_table only.
//
// Sheet canvas: 512 x 736 bytes, one colour index (blue 1, red 2, green 4,
// mask 8) per pixel, top row first; cell (row r, column k) covers
// x = 32k .. 32k + 31, y = 32r .. 32r + 31.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

inline constexpr int pc98_tile_size = 32;
inline constexpr int pc98_sheet_columns = 16;
inline constexpr int pc98_sheet_rows = 23;
inline constexpr int pc98_sheet_width = pc98_sheet_columns * pc98_tile_size;  // 512
inline constexpr int pc98_sheet_height = pc98_sheet_rows * pc98_tile_size;    // 736
inline constexpr int pc98_plane_bytes = 128;

// Sheet palette: 8 digital colours (blue, green, red, 0), then the same 8
// with the fourth byte 0xFF for the masked indices 8-15.
extern const std::array<std::uint8_t, 64> pc98_palette;

// Source palette of the mask conversion: indices 0-7 black, 8-15 white.
extern const std::array<std::uint8_t, 64> mask_select_palette;

// Palette of the 1-bit mask BMPs: black, white.
extern const std::array<std::uint8_t, 8> mask_palette;

// Palette an edited sheet is matched onto: the 8 digital colours, then 8
// black entries that the nearest-colour search never picks (the first of
// equally near entries wins), so no sheet pixel carries a mask bit.
extern const std::array<std::uint8_t, 64> pc98_patch_palette;

// Palette an edited mask is matched onto: black, white.
extern const std::array<std::uint8_t, 8> pc98_patch_mask_palette;

// Where the tile of one sheet cell lives.
struct pc98_shape {
  std::int32_t disk;  // 0: empty cell; 1: "ocshape.pat"; 2: "swshape.pat"
  std::int32_t cell;  // primary cell (row * 16 + column) that stands in when a sheet lacks the row
  std::int32_t planes;  // 3 or 4
  std::int32_t offset;  // byte position of the record in its shape file
};

// One entry per sheet cell, row by row.
extern const std::array<pc98_shape, pc98_sheet_rows * pc98_sheet_columns> pc98_shape_table;

// A disk of the title: its default image name, its shape file and the exact
// length of that file.
struct pc98_disk {
  const char* image_name;
  const char* shape_name;
  std::int32_t shape_size;
};

// Disk 1 (entry 0) and disk 2 (entry 1); pc98_shape::disk counts from 1.
extern const std::array<pc98_disk, 2> pc98_disks;

// ORs the planes of one tile record into the cell (row, column) of the sheet
// canvas. 0, or -1 (nothing drawn) when the plane count is not 3 or 4, the
// record is shorter than planes * 128 bytes, the cell is outside the sheet or
// the canvas is smaller than 512 x 736.
int draw_pc98_tile(int row, int column, std::span<const std::uint8_t> record, int planes,
                   std::span<std::uint8_t> sheet);

// Encodes the cell (row, column) of the sheet canvas into planes * 128 bytes
// of a tile record, the exact inverse of draw_pc98_tile (a 3-plane record
// drops the mask bit). 0, or -1 (nothing written) on the same faults.
int pack_pc98_tile(int row, int column, std::span<std::uint8_t> record, int planes,
                   std::span<const std::uint8_t> sheet);

// The image name with ".NEW" inserted before the extension of its last path
// component ("KV_Mirath.fdi" -> "KV_Mirath.NEW.fdi"), or appended when that
// component has no dot ("v1.2/disk" -> "v1.2/disk.NEW"). Prints
// "memory exhaust!\n" and yields nothing when the name cannot be made.
std::optional<std::string> make_new_filename(const std::string& name);

// Reads a sheet or mask BMP of width 512 and height 512 to 736 and converts
// it by nearest colour onto `palette` at `bit_count` into the top rows of
// `canvas` (512 x 736 bytes; rows below the BMP are left as they are).
// `rows` receives the whole cell rows the BMP holds (height / 32). 0, or -1
// after "open error '%s'\n", "read error '%s'\n", "bitmap size error '%s'
// %d x %d\n" or "convert_bit_count() error '%s'\n".
int read_pc98_sheet(const std::string& path, int& rows, int bit_count,
                    std::span<const std::uint8_t> palette, std::span<std::uint8_t> canvas);

// Sets the mask bit (8) of every sheet pixel whose mask pixel is not 0.
void merge_mask(std::span<std::uint8_t> sheet, std::span<const std::uint8_t> mask);

// The extractors' last step (PC-98 and X68000): writes the 4-bit sheet to
// names[0] and, when a second name is given, its mask as a 1-bit file
// (indices 8-15 white), under the overwrite guard. The sheet is written
// before the mask is made, so a failure at the mask leaves a complete
// sheet. 0, or -1 after "write bitmap file error '%s'\n" (after the
// library's line) or "convert error\n".
int write_sheet_and_mask(std::span<const std::string> names, std::uint32_t width,
                         std::uint32_t height, std::span<const std::uint8_t> palette,
                         std::span<const std::uint8_t> sheet);

int run_pc98tiles(int argc, char** argv);
int run_pc98tilepatch(int argc, char** argv);
