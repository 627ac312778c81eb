// egatiles: lays the 256 tiles of SHAPES.EGA out as a 16 x 16 sheet and
// writes it as a 256 x 256, 4-bit BMP with the EGA palette.
#include <array>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "ega/ega.h"
#include "file/file.h"
#include "tool/tool.h"

namespace {

constexpr int tile_size = 16;
constexpr int sheet_tiles = 16;
constexpr int sheet_size = tile_size * sheet_tiles;
constexpr std::size_t shapes_length = 256 * 128;

constexpr std::array<const char*, 2> usage = {
    "usage: egatiles [options] SHAPES.EGA OUTPUT.BMP\n",
    "option: --help             print usage\n",
};

using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// Unpacks the tiles, two pixels a byte (left pixel in the high nibble), into
// a canvas of one colour index per byte, tile n at row n / 16, column n % 16.
void lay_out_tiles(const std::vector<std::uint8_t>& shapes, std::vector<std::uint8_t>& canvas) {
  std::size_t next = 0;
  for (int tile_row = 0; tile_row < sheet_tiles; ++tile_row) {
    for (int tile_column = 0; tile_column < sheet_tiles; ++tile_column) {
      for (int y = 0; y < tile_size; ++y) {
        std::uint8_t* row = &canvas[static_cast<std::size_t>(tile_row * tile_size + y) * sheet_size +
                                    static_cast<std::size_t>(tile_column * tile_size)];
        for (int b = 0; b < tile_size / 2; ++b) {
          const std::uint8_t pair = shapes[next++];
          row[2 * b] = pair >> 4;
          row[2 * b + 1] = pair & 0x0F;
        }
      }
    }
  }
}

}  // namespace

int run_egatiles(int argc, char** argv) {
  std::vector<std::string> names;
  if (const int scan = scan_arguments(argc, argv, {}, 2, usage, names); scan != 0) {
    return scan > 0 ? 0 : 1;
  }
  if (names.empty()) {
    std::printf("no shapes filename\n");
    return 1;
  }
  if (names.size() < 2) {
    std::printf("no output bitmap filename\n");
    return 1;
  }
  const std::string& shapes_name = names[0];
  const std::string& output_name = names[1];
  const std::array<output_file, 1> outputs = {{{output_name}}};
  if (check_output_files(std::span(names).first(1), outputs) < 0) return 1;
  if (check_sheet_output(output_name) < 0) return 1;
  if (check_png_support(outputs) < 0) return 1;

  std::vector<std::uint8_t> shapes;
  std::vector<std::uint8_t> canvas;
  if (!make_buffer(shapes, shapes_length) ||
      !make_buffer(canvas, std::size_t{sheet_size} * sheet_size)) {
    return 1;
  }
  {
    file_ptr in(open_input_file(shapes_name), &std::fclose);
    if (!in) {
      std::printf("open error '%s'\n", shapes_name.c_str());
      return 1;
    }
    if (std::fread(shapes.data(), shapes.size(), 1, in.get()) != 1) {
      std::printf("read error '%s'\n", shapes_name.c_str());
      return 1;
    }
  }
  lay_out_tiles(shapes, canvas);

  // An earlier sheet is replaced without asking.
  return save_bitmap_file(output_name, sheet_size, sheet_size, 4, ega_palette, canvas) < 0 ? 1 : 0;
}
