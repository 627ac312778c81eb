// a2tiles: reads the two hi-res shape files out of an Apple II disk image
// and writes all 256 tiles as one 16 x 16 tile sheet, a 4-bit BMP.
#include <array>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "apple2/apple2.h"
#include "bitmap/bitmap.h"
#include "tool/tool.h"

namespace {

// clang-format off
constexpr std::array<const char*, 18> usage_lines = {
    "usage: a2tiles [options] OUTPUT.BMP\n",
    "option: --disk DISK-IMG     read shape data from specified image\n",
    "                            read 'KVboot.dsk' if not specified\n",
    "        --do | --po         specify sector order of disk image\n",
    "                                --do    DOS 3.3 order\n",
    "                                --po    ProDOS order\n",
    "        --16                draw shape in 16 pixel width\n",
    "        --2                 scale x2\n",
    "        --half-shift        half shift blur and orange pixel when scale x2 mode\n",
    "        --dither            dither graphics (stripe)         when scale x2 mode\n",
    "        --dither2           dither graphics (cross)          when scale x2 mode\n",
    "        --ega               use ega color\n",
    "        --mono              monochrome graphics\n",
    "        --no-white          do not blend green/pink pair and orange/blue pair\n",
    "                            to white\n",
    "        --blur              blur graphics\n",
    "        --no-blur           do not blur\n",
    "        --help              print usage\n",
};
// clang-format on

// Fills `options` from the command line; 0, or as scan_arguments when the
// run must end (-1 a fault, 1 after "--version").
int scan_a2tiles_arguments(int argc, char** argv, render_options& options) {
  // An option without a value sets one field to a fixed value.
  const auto set = [](auto& field, auto value) {
    return [&field, value](const std::string&) { field = value; };
  };
  const std::array<command_option, 13> option_table = {{
      {"--disk", true, "no disk image filename\n",
       [&options](const std::string& value) { options.disk_image_name = value; }},
      {"--do", false, nullptr, set(options.sector_order, 1)},
      {"--po", false, nullptr, set(options.sector_order, 2)},
      {"--16", false, nullptr, set(options.tile_width, 16)},
      {"--2", false, nullptr, set(options.scale, 2)},
      {"--half-shift", false, nullptr, set(options.half_shift, true)},
      {"--dither", false, nullptr, set(options.dither, 1)},
      {"--dither2", false, nullptr, set(options.dither, 2)},
      {"--ega", false, nullptr, set(options.ega, true)},
      {"--mono", false, nullptr, set(options.color_mode, color_mono)},
      {"--no-white", false, nullptr, set(options.color_mode, color_no_white)},
      {"--blur", false, nullptr, set(options.color_mode, color_blur)},
      {"--no-blur", false, nullptr, set(options.color_mode, color_no_blur)},
  }};
  std::vector<std::string> positionals;
  const int scan = scan_arguments(argc, argv, option_table, 1, usage_lines, positionals);
  if (scan != 0) return scan;
  if (!positionals.empty()) options.output_name = positionals[0];
  return 0;
}

// Reads both shape files into `shapes`; 0, or -1 after the messages.
int read_shape_files(const render_options& options, std::vector<std::uint8_t>& shapes) {
  apple_disk disk;
  const char* image = options.disk_image_name.c_str();
  if (load_apple_disk(disk, options.disk_image_name, options.sector_order) < 0) {
    std::printf("read disk image error '%s'\n", image);
    return -1;
  }
  if (!make_buffer(shapes, 2 * shape_file_bytes)) return -1;
  for (std::size_t i = 0; i < shape_file_names.size(); ++i) {
    const std::string name(shape_file_names[i]);
    const std::span<std::uint8_t> buffer(shapes.data() + i * shape_file_bytes, shape_file_bytes);
    const int count = read_apple_file(disk, name, buffer);
    if (count < 0) {
      std::printf("read disk image error '%s/%s'\n", image, name.c_str());
      return -1;
    }
    if (count != shape_file_bytes) {
      std::printf("read disk image error '%s/%s' size=0x%X\n", image, name.c_str(),
                  static_cast<unsigned>(count));
      return -1;
    }
  }
  free_apple_disk(disk);
  return 0;
}

}  // namespace

int run_a2tiles(int argc, char** argv) {
  render_options options;
  if (const int scan = scan_a2tiles_arguments(argc, argv, options); scan != 0) {
    return scan > 0 ? 0 : 1;
  }
  // Half shift and dithers work in half dots, which exist only at scale 2.
  if (options.scale != 2) {
    options.half_shift = false;
    options.dither = 0;
  }
  if (!options.output_name) {
    std::printf("no output bitmap filename\n");
    return 1;
  }
  const std::array<std::string, 1> inputs = {options.disk_image_name};
  const std::array<output_file, 1> outputs = {{{*options.output_name}}};
  if (check_output_files(inputs, outputs) < 0) return 1;
  if (check_sheet_output(*options.output_name) < 0) return 1;
  if (check_png_support(outputs) < 0) return 1;
  const render_geometry geometry = compute_render_geometry(options);

  std::vector<std::uint8_t> shapes;
  if (read_shape_files(options, shapes) < 0) return 1;

  std::vector<std::uint8_t> canvas;
  try {
    canvas = render_tile_sheet(shapes, options, geometry);
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!\n");
    return 1;
  }
  convert_tile_sheet(canvas, options, geometry);
  const auto& palette = choose_sheet_palette(options);
  // An earlier sheet is replaced without asking.
  return save_bitmap_file(*options.output_name, static_cast<std::uint32_t>(geometry.cell_width * 16),
                          static_cast<std::uint32_t>(geometry.cell_height * 16), 4, palette,
                          canvas) < 0
             ? 1
             : 0;
}
