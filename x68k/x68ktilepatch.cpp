// x68ktilepatch: packs an edited 576 x 792 sheet BMP (and mask BMP) back
// into shape.pat of an X68000 disk image (XDF, DIM or D88) and saves the
// result as a new image in the same container.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "fat12/fat12.h"
#include "tool/tool.h"
#include "x68k/x68k.h"

namespace {

constexpr std::array<const char*, 10> usage = {
    "usage: x68ktilepatch [options] SHAPES.BMP [MASK.BMP]\n",
    "option: --disk DISK-IMG     disk image name of Mirath Disk\n",
    "                            read 'kv-mirath.xdf' if not specified\n",
    "        --write DISK-IMG    disk image name of modified Mirath Disk\n",
    "        --no-shores         remove shore line shapes\n",
    "        --help              print usage\n",
    "\n",
    "remove all mask if mask bitmap is not specified\n",
    "supported disk image format is *.XDF only\n",
    "write modified disk image to filename.NEW.ext if not specified\n",
};

// Cell row 17 holds the shore line images; rows 19 and 20 hold more of them
// and take row 17 as their stand-in source.
constexpr int shore_row = 17;

// Sets the pixel rows of cell rows [first, last] to colour 0 with the mask set.
void clear_shore_rows(std::vector<std::uint8_t>& shapes, std::vector<std::uint8_t>& mask, int first,
                      int last) {
  const auto from = static_cast<std::ptrdiff_t>(first * x68k_cell_pixels * x68k_sheet_width);
  const auto to = static_cast<std::ptrdiff_t>((last + 1) * x68k_cell_pixels * x68k_sheet_width);
  std::fill(shapes.begin() + from, shapes.begin() + to, 0);
  std::fill(mask.begin() + from, mask.begin() + to, 0xFF);
}

}  // namespace

int run_x68ktilepatch(int argc, char** argv) {
  std::string disk = "kv-mirath.xdf";
  std::string output = "kv-mirath.NEW.xdf";
  std::string shape_file = "shape.pat";
  bool no_shores = false;
  const std::array<command_option, 4> options = {
      command_option{"--disk", true, "no disk image (mirath disk)\n",
                     [&disk](const std::string& value) { disk = value; }},
      command_option{"--write", true, "no disk image to write (mirath disk)\n",
                     [&output](const std::string& value) { output = value; }},
      command_option{"--file", true, "no shape file name\n",
                     [&shape_file](const std::string& value) { shape_file = value; }},
      command_option{"--no-shores", false, nullptr,
                     [&no_shores](const std::string&) { no_shores = true; }},
  };
  std::vector<std::string> positionals;
  if (const int scan = scan_arguments(argc, argv, options, 2, usage, positionals); scan != 0) {
    return scan > 0 ? 0 : 1;
  }
  if (positionals.empty()) {
    std::printf("no shapes bitmap filename\n");
    return 1;
  }
  const std::string& sheet_name = positionals[0];
  // The sheet, the mask if given, then the image, which the output may replace.
  std::vector<std::string> inputs = positionals;
  inputs.push_back(disk);
  const std::array<output_file, 1> outputs = {{{output, static_cast<int>(positionals.size())}}};
  if (check_output_files(inputs, outputs) < 0) return 1;

  // Read and convert every input before anything is written.
  std::vector<std::uint8_t> shapes;
  std::vector<std::uint8_t> mask;
  std::vector<std::uint8_t> shape;
  if (!make_buffer(shapes, x68k_canvas_bytes) || !make_buffer(mask, x68k_canvas_bytes) ||
      !make_buffer(shape, x68k_shape_bytes)) {
    return 1;
  }
  int rows = 0;
  int columns = 0;
  if (read_x68k_sheet(sheet_name, rows, columns, x68k_patch_palette, shapes) < 0) {
    std::printf("read bitmap file error '%s'\n", sheet_name.c_str());
    return 1;
  }
  if (positionals.size() > 1) {
    const std::string& mask_name = positionals[1];
    int mask_rows = 0;
    int mask_columns = 0;
    if (read_x68k_sheet(mask_name, mask_rows, mask_columns, x68k_patch_mask_palette, mask) < 0) {
      std::printf("read mask file error '%s'\n", mask_name.c_str());
      return 1;
    }
    if (mask_rows != rows || mask_columns != columns) {
      std::printf("bitmap and mask size mismatch\n");
      return 1;
    }
  }
  if (no_shores) {
    clear_shore_rows(shapes, mask, shore_row, shore_row);
    clear_shore_rows(shapes, mask, 19, 20);
  }

  disk_image image;
  if (load_shape_file(image, disk, disk_family::x68k, shape_file, shape) < 0) return 1;

  // Cells below a short sheet take their picture from the cell of the tile
  // they belong to; with no stand-in on the sheet they keep their disk bytes.
  // The cleared shore row serves as a stand-in even below the sheet.
  for (int row = 0; row < x68k_sheet_rows; ++row) {
    for (int column = 0; column < x68k_sheet_columns; ++column) {
      const x68k_layout_entry& entry =
          x68k_sheet_layout[static_cast<std::size_t>(row * x68k_sheet_columns + column)];
      if (entry.tile_number < 0) continue;
      int source_row = row;
      int source_column = column;
      if (row >= rows) {
        source_row = entry.tile_number / x68k_sheet_columns;
        source_column = entry.tile_number % x68k_sheet_columns;
        if (source_row >= rows && !(no_shores && source_row == shore_row)) continue;
      }
      pack_x68k_tile(source_row, source_column,
                     std::span<std::uint8_t>(shape)
                         .subspan(static_cast<std::size_t>(entry.shape_offset))
                         .first<x68k_tile_bytes>(),
                     shapes, mask);
    }
  }

  if (!confirm_overwrite(output)) return 1;
  if (write_image_file(image, shape_file, shape, true) < 0) {
    std::printf("write disk image error %s/%s\n", disk.c_str(), shape_file.c_str());
    return 1;
  }
  if (save_disk_image(image, output) < 0) {
    std::printf("write disk image error %s\n", disk.c_str());
    return 1;
  }
  free_disk_image(image);
  return 0;
}
