// x68ktiles: unpacks shape.pat of an X68000 disk image (XDF, DIM or D88)
// into a 576 x 792 4-bit sheet BMP and, on request, a 1-bit mask BMP.
#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "fat12/fat12.h"
#include "pc98/pc98.h"
#include "tool/tool.h"
#include "x68k/x68k.h"

namespace {

constexpr std::array<const char*, 6> usage = {
    "usage: x68ktiles [options] OUTPUT.BMP [MASK.BMP]\n",
    "option: --disk DISK-IMG     disk image name of Mirath Disk\n",
    "                            read 'kv-mirath.xdf' if not specified\n",
    "        --help              print usage\n",
    "\n",
    "supported disk image format is *.xdf only\n",
};

constexpr const char* shape_file = "shape.pat";

}  // namespace

int run_x68ktiles(int argc, char** argv) {
  std::string disk = "kv-mirath.xdf";
  const std::array<command_option, 1> options = {
      command_option{"--disk", true, "no disk image (mirath disk)\n",
                     [&disk](const std::string& value) { disk = value; }},
  };
  std::vector<std::string> positionals;
  if (const int scan = scan_arguments(argc, argv, options, 2, usage, positionals); scan != 0) {
    return scan > 0 ? 0 : 1;
  }
  if (positionals.empty()) {
    std::printf("no output bitmap filename\n");
    return 1;
  }
  std::vector<output_file> outputs;
  for (const std::string& name : positionals) outputs.push_back({name});
  if (check_output_files(std::span(&disk, 1), outputs) < 0) return 1;
  if (check_png_support(outputs) < 0) return 1;

  std::vector<std::uint8_t> shape;
  std::vector<std::uint8_t> canvas;
  if (!make_buffer(shape, x68k_shape_bytes) || !make_buffer(canvas, x68k_canvas_bytes)) return 1;
  disk_image image;
  if (load_shape_file(image, disk, disk_family::x68k, shape_file, shape) < 0) return 1;
  free_disk_image(image);

  for (int row = 0; row < x68k_sheet_rows; ++row) {
    for (int column = 0; column < x68k_sheet_columns; ++column) {
      const x68k_layout_entry& entry =
          x68k_sheet_layout[static_cast<std::size_t>(row * x68k_sheet_columns + column)];
      if (entry.tile_number < 0) continue;
      unpack_x68k_tile(row, column,
                       std::span<const std::uint8_t>(shape)
                           .subspan(static_cast<std::size_t>(entry.shape_offset))
                           .first<x68k_tile_bytes>(),
                       canvas);
    }
  }
  return write_sheet_and_mask(positionals, x68k_sheet_width, x68k_sheet_height, x68k_palette,
                              canvas) < 0
             ? 1
             : 0;
}
