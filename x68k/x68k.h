// X68000 shape file ("shape.pat" on the Mirath Disk, an XDF, DIM or D88 image), the
// 16 x 22 tile sheet of 36 x 36 cells that both X68000 tools use, and the
// two programs: x68ktiles (image -> sheet and mask BMPs) and x68ktilepatch
// (sheet and mask BMPs -> modified copy of the image).
//
// shape.pat: 328 tile images of 648 bytes back to back (212,544 bytes), no
// header. A tile image is 36 rows from the top, 18 bytes a row; each byte
// holds two pixels, the left one in bits 7-4. A 4-bit pixel is bit 0 blue,
// bit 1 red, bit 2 green, bit 3 the mask bit, which is directly its colour
// index in the sheet.
//
// Sheet canvas: 576 x 792 bytes, one colour index per pixel, top row first;
// cell (row r, column c) covers x = 36c..36c+35, y = 36r..36r+35.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

inline constexpr int x68k_cell_pixels = 36;
inline constexpr int x68k_sheet_rows = 22;
inline constexpr int x68k_sheet_columns = 16;
inline constexpr int x68k_sheet_width = x68k_sheet_columns * x68k_cell_pixels;  // 576
inline constexpr int x68k_sheet_height = x68k_sheet_rows * x68k_cell_pixels;    // 792
inline constexpr std::size_t x68k_canvas_bytes = std::size_t{x68k_sheet_width} * x68k_sheet_height;
inline constexpr int x68k_tile_bytes = 648;
inline constexpr int x68k_tile_count = 328;
inline constexpr std::size_t x68k_shape_bytes = std::size_t{x68k_tile_bytes} * x68k_tile_count;

// One sheet cell: the tile its image belongs to (-1 for an empty cell) and
// the byte position of that image in shape.pat (0 in empty cells).
struct x68k_layout_entry {
  std::int32_t tile_number = -1;
  std::int32_t shape_offset = 0;
};

// 22 x 16 cells, row by row (entry r * 16 + c). Rows 0-15 hold tiles 0-255
// in order (row 2 swaps 42/43 with 44/45; row 4, columns 4-7 are empty);
// rows 16-21 hold the extra images, each tagged with the tile it belongs to.
extern const std::array<x68k_layout_entry, 352> x68k_sheet_layout;

// Sheet BMP palette: 8 digital colours (blue, green, red, 0), then the same
// colours with the fourth byte 0xFF for the masked indices 8-15. The same
// bytes as pc98_palette.
extern const std::array<std::uint8_t, 64>& x68k_palette;

// Destination palettes when reading an edited sheet back: the 8 colours then
// black (so only 0-7 are ever chosen), and black, white, then black (so a
// mask pixel becomes 0 or 1).
extern const std::array<std::uint8_t, 64> x68k_patch_palette;
extern const std::array<std::uint8_t, 64> x68k_patch_mask_palette;

// Unpacks one 648-byte tile image into cell (row, column) of a 576 x 792
// canvas, the mask bit kept in bit 3 of each pixel. Returns 0.
int unpack_x68k_tile(int row, int column, std::span<const std::uint8_t, x68k_tile_bytes> image,
                     std::span<std::uint8_t> canvas);

// Packs cell (row, column) of the colour canvas (indices 0-7) and the mask
// canvas (nonzero = mask bit set) into a 648-byte tile image. Returns 0.
int pack_x68k_tile(int row, int column, std::span<std::uint8_t, x68k_tile_bytes> destination,
                   std::span<const std::uint8_t> shapes, std::span<const std::uint8_t> mask);

// Reads a sheet or mask BMP (576 wide, 576 to 792 high, any bit count) and
// converts it by nearest colour onto the 16-entry `palette` into the first
// rows of `canvas` (576 x 792 bytes; rows below the BMP are left alone).
// Sets `rows` and `columns` to the whole cells it holds. 0, or -1 after a
// message naming the path.
int read_x68k_sheet(const std::string& path, int& rows, int& columns,
                    std::span<const std::uint8_t> palette, std::span<std::uint8_t> canvas);

int run_x68ktiles(int argc, char** argv);
int run_x68ktilepatch(int argc, char** argv);
