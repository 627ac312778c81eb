// pc98tilepatch: reads an edited 512-pixel-wide sheet BMP (and optionally its
// 1-bit mask BMP), re-encodes every tile record of "ocshape.pat" and
// "swshape.pat" from it, writes each shape file back along its existing
// cluster chain and saves both images, each in its own container (FDI, D88,
// NFD or HDM), under new names.
#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fat12/fat12.h"
#include "pc98/pc98.h"
#include "tool/tool.h"

namespace {

constexpr std::array<const char*, 13> usage = {
    "usage: pc98tilepatch [options] SHAPES.BMP [MASK.BMP]\n",
    "option: --disk1 DISK-IMG    disk image name of Mirath Disk\n",
    "                            read 'KV_Mirath.fdi' if not specified\n",
    "        --disk2 DISK-IMG    disk image name of Thalwynde Disk\n",
    "                            read 'KV_Thalwynd.fdi' if not specified\n",
    "        --write1 DISK-IMG   disk image name of modified Mirath Disk\n",
    "        --write2 DISK-IMG   disk image name of modified Thalwynde Disk\n",
    "        --no-shores         remove shore line shapes\n",
    "        --help              print usage\n",
    "\n",
    "remove all mask if mask bitmap is not specified\n",
    "supported disk image format is *.FDI only\n",
    "write modified disk image to filename.NEW.ext if not specified\n",
};

// Cell rows of the shore line: its three frames are only mask.
constexpr std::array<int, 3> shore_rows = {17, 19, 20};

constexpr std::size_t sheet_bytes = std::size_t{pc98_sheet_width} * pc98_sheet_height;
constexpr std::size_t cell_row_bytes = std::size_t{pc98_sheet_width} * pc98_tile_size;

// Makes the shore line cells colour 0 with every mask bit set.
void clear_shores(std::vector<std::uint8_t>& sheet, std::vector<std::uint8_t>& mask) {
  for (int row : shore_rows) {
    const auto first = static_cast<std::ptrdiff_t>(cell_row_bytes * static_cast<std::size_t>(row));
    const auto last = first + static_cast<std::ptrdiff_t>(cell_row_bytes);
    std::fill(sheet.begin() + first, sheet.begin() + last, 0x00);
    std::fill(mask.begin() + first, mask.begin() + last, 0xFF);
  }
}

// Cell rows from here on have no stand-in: their primary cell field is a
// placeholder 0, not cell (0, 0).
constexpr int first_row_without_stand_in = 21;

// Re-encodes every record from its cell, or, for a cell below the sheet's
// last whole row, from the primary cell the table names. A record whose
// source cell is missing, or that has no stand-in, keeps the bytes read
// from the disk (unless the shore line was cleared, which stands in for
// the missing shore rows).
void pack_sheet(std::array<std::vector<std::uint8_t>, 2>& shapes,
                const std::vector<std::uint8_t>& sheet, int rows, bool no_shores) {
  for (std::size_t i = 0; i < pc98_shape_table.size(); ++i) {
    const pc98_shape& shape = pc98_shape_table[i];
    if (shape.disk == 0) continue;
    int row = static_cast<int>(i) / pc98_sheet_columns;
    int column = static_cast<int>(i) % pc98_sheet_columns;
    if (row >= rows) {
      if (row >= first_row_without_stand_in) continue;
      row = shape.cell / pc98_sheet_columns;
      column = shape.cell % pc98_sheet_columns;
      if (row >= rows && !no_shores) continue;
    }
    const std::span<std::uint8_t> file = shapes[static_cast<std::size_t>(shape.disk - 1)];
    pack_pc98_tile(row, column, file.subspan(static_cast<std::size_t>(shape.offset)), shape.planes,
                   sheet);
  }
}

}  // namespace

int run_pc98tilepatch(int argc, char** argv) {
  std::array<std::string, 2> images = {pc98_disks[0].image_name, pc98_disks[1].image_name};
  std::array<std::optional<std::string>, 2> outputs;
  bool no_shores = false;
  const std::array<command_option, 5> options = {{
      {"--disk1", true, "no disk image (mirath disk)\n",
       [&images](const std::string& value) { images[0] = value; }},
      {"--disk2", true, "no disk image (thalwynde disk)\n",
       [&images](const std::string& value) { images[1] = value; }},
      {"--write1", true, "no disk image to write (mirath disk)\n",
       [&outputs](const std::string& value) { outputs[0] = value; }},
      {"--write2", true, "no disk image to write (thalwynde disk)\n",
       [&outputs](const std::string& value) { outputs[1] = value; }},
      {"--no-shores", false, nullptr, [&no_shores](const std::string&) { no_shores = true; }},
  }};
  std::vector<std::string> names;
  if (const int scan = scan_arguments(argc, argv, options, 2, usage, names); scan != 0) {
    return scan > 0 ? 0 : 1;
  }
  if (names.empty()) {
    std::printf("no shapes bitmap filename\n");
    return 1;
  }
  for (std::size_t d = 0; d < outputs.size(); ++d) {
    if (outputs[d]) continue;
    outputs[d] = make_new_filename(images[d]);
    if (!outputs[d]) {
      std::printf("can't create filename\n");
      return 1;
    }
  }
  // Inputs: the sheet, the mask if given, then the two images; each output
  // image may be saved over the image it patches.
  std::vector<std::string> inputs = names;
  inputs.insert(inputs.end(), images.begin(), images.end());
  const auto first_image = static_cast<int>(names.size());
  const std::array<output_file, 2> output_files = {{{*outputs[0], first_image},
                                                   {*outputs[1], first_image + 1}}};
  if (check_output_files(inputs, output_files) < 0) return 1;

  // Every input is read and converted before anything is written.
  std::vector<std::uint8_t> sheet;
  std::vector<std::uint8_t> mask;
  if (!make_buffer(sheet, sheet_bytes) || !make_buffer(mask, sheet_bytes)) return 1;
  int rows = 0;
  if (read_pc98_sheet(names[0], rows, 4, pc98_patch_palette, sheet) < 0) {
    std::printf("read shapes file error '%s'\n", names[0].c_str());
    return 1;
  }
  // Without a mask BMP the mask stays 0: every rewritten mask plane is cleared.
  if (names.size() > 1) {
    int mask_rows = 0;
    if (read_pc98_sheet(names[1], mask_rows, 1, pc98_patch_mask_palette, mask) < 0) {
      std::printf("read mask file error '%s'\n", names[1].c_str());
      return 1;
    }
    if (mask_rows != rows) {
      std::printf("shapes and mask size mismatch\n");
      return 1;
    }
  }
  if (no_shores) clear_shores(sheet, mask);
  merge_mask(sheet, mask);

  std::array<disk_image, 2> disks;
  std::array<std::vector<std::uint8_t>, 2> shapes;
  for (std::size_t d = 0; d < disks.size(); ++d) {
    const pc98_disk& disk = pc98_disks[d];
    if (!make_buffer(shapes[d], static_cast<std::size_t>(disk.shape_size)) ||
        load_shape_file(disks[d], images[d], disk_family::pc98, disk.shape_name, shapes[d]) < 0) {
      return 1;
    }
  }
  pack_sheet(shapes, sheet, rows, no_shores);

  // Both shape files go into their images, every chain checked, before the
  // first question: a damaged chain on either disk saves nothing.
  for (std::size_t d = 0; d < disks.size(); ++d) {
    const pc98_disk& disk = pc98_disks[d];
    if (write_image_file(disks[d], disk.shape_name, shapes[d], true) < 0) {
      std::printf("write disk image error %s/%s\n", outputs[d]->c_str(), disk.shape_name);
      return 1;
    }
  }

  // Disk 1 is saved before disk 2's output is asked about.
  for (std::size_t d = 0; d < disks.size(); ++d) {
    const std::string& output = *outputs[d];
    if (!confirm_overwrite(output)) return 1;
    if (save_disk_image(disks[d], output) < 0) {
      std::printf("write disk image error %s\n", output.c_str());
      return 1;
    }
    free_disk_image(disks[d]);
    std::printf("write '%s'\n", output.c_str());
  }
  return 0;
}
