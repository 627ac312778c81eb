// X68000 tile images <-> sheet cells, and reading an edited sheet BMP.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "bitmap/bitmap.h"
#include "tool/tool.h"
#include "x68k/x68k.h"

namespace {

// Canvas byte of the top-left pixel of pixel row y in cell (row, column).
std::size_t cell_row_start(int row, int column, int y) {
  return static_cast<std::size_t>((x68k_cell_pixels * row + y) * x68k_sheet_width +
                                  x68k_cell_pixels * column);
}

}  // namespace

int unpack_x68k_tile(int row, int column, std::span<const std::uint8_t, x68k_tile_bytes> image,
                     std::span<std::uint8_t> canvas) {
  auto source = image.begin();
  for (int y = 0; y < x68k_cell_pixels; ++y) {
    std::uint8_t* out = canvas.data() + cell_row_start(row, column, y);
    for (int x = 0; x < x68k_cell_pixels / 2; ++x, ++source) {
      *out++ = static_cast<std::uint8_t>(*source >> 4);
      *out++ = static_cast<std::uint8_t>(*source & 0x0F);
    }
  }
  return 0;
}

int pack_x68k_tile(int row, int column, std::span<std::uint8_t, x68k_tile_bytes> destination,
                   std::span<const std::uint8_t> shapes, std::span<const std::uint8_t> mask) {
  auto out = destination.begin();
  for (int y = 0; y < x68k_cell_pixels; ++y) {
    const std::size_t start = cell_row_start(row, column, y);
    const std::uint8_t* colour = shapes.data() + start;
    const std::uint8_t* masked = mask.data() + start;
    for (int x = 0; x < x68k_cell_pixels; x += 2, ++out) {
      *out = static_cast<std::uint8_t>(colour[x] << 4 | (masked[x] != 0 ? 0x80 : 0) |
                                       (colour[x + 1] & 0x0F) | (masked[x + 1] != 0 ? 0x08 : 0));
    }
  }
  return 0;
}

int read_x68k_sheet(const std::string& path, int& rows, int& columns,
                    std::span<const std::uint8_t> palette, std::span<std::uint8_t> canvas) {
  const int height = read_sheet_bitmap(path, x68k_sheet_width, 16 * x68k_cell_pixels,
                                       x68k_sheet_height, 4, palette, canvas);
  if (height < 0) return -1;
  rows = height / x68k_cell_pixels;
  columns = x68k_sheet_width / x68k_cell_pixels;
  return 0;
}
