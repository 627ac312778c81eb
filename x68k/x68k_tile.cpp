// X68000 tile images <-> sheet cells, and reading an edited sheet BMP.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "bitmap/bitmap.h"
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
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"),
                                                          &std::fclose);
  if (!file) {
    std::printf("open error '%s'\n", path.c_str());
    return -1;
  }
  bitmap_header header;
  std::vector<std::uint8_t> bmp_palette;
  std::vector<std::uint8_t> pixels;
  if (read_bitmap(file.get(), header, &bmp_palette, &pixels, false) < 0) {
    std::printf("read error '%s'\n", path.c_str());
    return -1;
  }
  file.reset();

  if (header.width != static_cast<std::uint32_t>(x68k_sheet_width) ||
      header.height < static_cast<std::uint32_t>(16 * x68k_cell_pixels) ||
      header.height > static_cast<std::uint32_t>(x68k_sheet_height)) {
    std::printf("bitmap size error '%s' %d x %d\n", path.c_str(), static_cast<int>(header.width),
                static_cast<int>(header.height));
    return -1;
  }
  const int width = static_cast<int>(header.width);
  const int height = static_cast<int>(header.height);
  rows = height / x68k_cell_pixels;
  columns = width / x68k_cell_pixels;

  std::vector<std::uint8_t> converted;
  if (convert_bit_count(width, height, header.bit_count, bmp_palette, pixels, 4, palette,
                        converted) < 0 ||
      converted.size() > canvas.size()) {
    std::printf("convert_bit_count() error '%s'\n", path.c_str());
    return -1;
  }
  std::copy(converted.begin(), converted.end(), canvas.begin());
  return 0;
}
