// pc98tiles: reads "ocshape.pat" and "swshape.pat" out of the two disk images
// (FDI, D88, NFD or HDM), draws every tile into the 512 x 736 sheet and
// writes it as a 4-bit BMP, and, when a second name is given, the tiles'
// mask plane as a 1-bit BMP.
#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "fat12/fat12.h"
#include "pc98/pc98.h"
#include "tool/tool.h"

namespace {

constexpr std::array<const char*, 8> usage = {
    "usage: pc98tiles [options] OUTPUT.BMP [MASK.BMP]\n",
    "option: --disk1 DISK-IMG    disk image name of Mirath Disk\n",
    "                            read 'KV_Mirath.fdi' if not specified\n",
    "        --disk2 DISK-IMG    disk image name of Thalwynde Disk\n",
    "                            read 'KV_Thalwynd.fdi' if not specified\n",
    "        --help              print usage\n",
    "\n",
    "supported disk image format is *.fdi only\n",
};

// Loads each disk in turn (disk 2 only once disk 1 was read) and copies its
// shape file whole into `shapes`. 0, or -1 after the error line.
int read_shape_files(const std::array<std::string, 2>& images,
                     std::array<std::vector<std::uint8_t>, 2>& shapes) {
  disk_image image;
  for (std::size_t d = 0; d < pc98_disks.size(); ++d) {
    const pc98_disk& disk = pc98_disks[d];
    if (!make_buffer(shapes[d], static_cast<std::size_t>(disk.shape_size)) ||
        load_shape_file(image, images[d], disk_family::pc98, disk.shape_name, shapes[d]) < 0) {
      return -1;
    }
    free_disk_image(image);
  }
  return 0;
}

// Draws every non-empty cell of the shape table from its record into the
// cleared sheet canvas.
void draw_sheet(const std::array<std::vector<std::uint8_t>, 2>& shapes,
                std::vector<std::uint8_t>& sheet) {
  for (std::size_t i = 0; i < pc98_shape_table.size(); ++i) {
    const pc98_shape& shape = pc98_shape_table[i];
    if (shape.disk == 0) continue;
    const std::span<const std::uint8_t> file = shapes[static_cast<std::size_t>(shape.disk - 1)];
    draw_pc98_tile(static_cast<int>(i) / pc98_sheet_columns,
                   static_cast<int>(i) % pc98_sheet_columns,
                   file.subspan(static_cast<std::size_t>(shape.offset)), shape.planes, sheet);
  }
}

}  // namespace

int run_pc98tiles(int argc, char** argv) {
  std::array<std::string, 2> images = {pc98_disks[0].image_name, pc98_disks[1].image_name};
  const std::array<command_option, 2> options = {{
      {"--disk1", true, "no disk image (mirath disk)\n",
       [&images](const std::string& value) { images[0] = value; }},
      {"--disk2", true, "no disk image (thalwynde disk)\n",
       [&images](const std::string& value) { images[1] = value; }},
  }};
  std::vector<std::string> names;
  if (const int scan = scan_arguments(argc, argv, options, 2, usage, names); scan != 0) {
    return scan > 0 ? 0 : 1;
  }
  if (names.empty()) {
    std::printf("no output bitmap filename\n");
    return 1;
  }
  std::vector<output_file> outputs;
  for (const std::string& name : names) outputs.push_back({name});
  if (check_output_files(images, outputs) < 0) return 1;
  if (check_png_support(outputs) < 0) return 1;

  std::array<std::vector<std::uint8_t>, 2> shapes;
  if (read_shape_files(images, shapes) < 0) return 1;
  std::vector<std::uint8_t> sheet;
  if (!make_buffer(sheet, std::size_t{pc98_sheet_width} * pc98_sheet_height)) return 1;
  draw_sheet(shapes, sheet);

  return write_sheet_and_mask(names, pc98_sheet_width, pc98_sheet_height, pc98_palette, sheet) < 0
             ? 1
             : 0;
}
