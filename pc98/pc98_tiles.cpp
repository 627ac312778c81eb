// PC-98 tile coding between the bit-plane records of the shape files and the
// sheet canvas, and the sheet-side helpers of the patch tool.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "bitmap/bitmap.h"
#include "pc98/pc98.h"
#include "tool/tool.h"

namespace {

using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

constexpr std::size_t sheet_bytes = std::size_t{pc98_sheet_width} * pc98_sheet_height;
constexpr int row_bytes = pc98_tile_size / 8;

// Colour index bit carried by plane p: 3-plane records hold blue, red,
// green; 4-plane records put the mask plane first.
int plane_bit(int plane, int planes) { return planes == 3 ? 1 << plane : 1 << ((plane + 3) % 4); }

// True when a record of `planes` planes fits `record_size` bytes and the cell
// lies on a sheet canvas of `sheet_size` bytes.
bool tile_fits(int row, int column, std::size_t record_size, int planes, std::size_t sheet_size) {
  return (planes == 3 || planes == 4) &&
         record_size >= static_cast<std::size_t>(planes) * pc98_plane_bytes && row >= 0 &&
         row < pc98_sheet_rows && column >= 0 && column < pc98_sheet_columns &&
         sheet_size >= sheet_bytes;
}

// Canvas position of the top-left pixel of a cell.
std::size_t cell_origin(int row, int column) {
  return static_cast<std::size_t>(row) * pc98_tile_size * pc98_sheet_width +
         static_cast<std::size_t>(column) * pc98_tile_size;
}

}  // namespace

int draw_pc98_tile(int row, int column, std::span<const std::uint8_t> record, int planes,
                   std::span<std::uint8_t> sheet) {
  if (!tile_fits(row, column, record.size(), planes, sheet.size())) return -1;
  const std::uint8_t* byte = record.data();
  for (int plane = 0; plane < planes; ++plane) {
    const auto bit = static_cast<std::uint8_t>(plane_bit(plane, planes));
    for (int y = 0; y < pc98_tile_size; ++y) {
      std::uint8_t* pixel =
          sheet.data() + cell_origin(row, column) + static_cast<std::size_t>(y) * pc98_sheet_width;
      for (int b = 0; b < row_bytes; ++b, ++byte) {
        for (int i = 0; i < 8; ++i, ++pixel) {
          if (*byte & (0x80 >> i)) *pixel |= bit;
        }
      }
    }
  }
  return 0;
}

int pack_pc98_tile(int row, int column, std::span<std::uint8_t> record, int planes,
                   std::span<const std::uint8_t> sheet) {
  if (!tile_fits(row, column, record.size(), planes, sheet.size())) return -1;
  std::uint8_t* byte = record.data();
  for (int plane = 0; plane < planes; ++plane) {
    const int bit = plane_bit(plane, planes);
    for (int y = 0; y < pc98_tile_size; ++y) {
      const std::uint8_t* pixel =
          sheet.data() + cell_origin(row, column) + static_cast<std::size_t>(y) * pc98_sheet_width;
      for (int b = 0; b < row_bytes; ++b, ++byte) {
        int value = 0;
        for (int i = 0; i < 8; ++i, ++pixel) {
          if (*pixel & bit) value |= 0x80 >> i;
        }
        *byte = static_cast<std::uint8_t>(value);
      }
    }
  }
  return 0;
}

std::optional<std::string> make_new_filename(const std::string& name) {
  // Only a dot in the last path component starts an extension; one in a
  // folder name would put the new name into a folder that does not exist.
  const std::size_t separator = name.find_last_of("/\\");
  const std::size_t component = separator == std::string::npos ? 0 : separator + 1;
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < component) dot = name.size();
  try {
    std::string result;
    result.reserve(name.size() + 5);
    result.append(name, 0, dot).append(".NEW").append(name, dot, std::string::npos);
    return result;
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!\n");
    return std::nullopt;
  }
}

int read_pc98_sheet(const std::string& path, int& rows, int bit_count,
                    std::span<const std::uint8_t> palette, std::span<std::uint8_t> canvas) {
  const int height = read_sheet_bitmap(path, pc98_sheet_width, 16 * pc98_tile_size,
                                       pc98_sheet_height, bit_count, palette, canvas);
  if (height < 0) return -1;
  rows = height / pc98_tile_size;
  return 0;
}

void merge_mask(std::span<std::uint8_t> sheet, std::span<const std::uint8_t> mask) {
  const std::size_t count = std::min(sheet.size(), mask.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (mask[i] != 0) sheet[i] |= 8;
  }
}

int write_sheet_and_mask(std::span<const std::string> names, std::uint32_t width,
                         std::uint32_t height, std::span<const std::uint8_t> palette,
                         std::span<const std::uint8_t> sheet) {
  if (write_bitmap_file(names[0], width, height, 4, palette, sheet) < 0) {
    std::printf("write bitmap file error '%s'\n", names[0].c_str());
    return -1;
  }
  if (names.size() < 2) return 0;
  std::vector<std::uint8_t> mask;
  if (convert_bit_count(static_cast<int>(width), static_cast<int>(height), 4, mask_select_palette,
                        sheet, 1, mask_palette, mask) < 0) {
    std::printf("convert error\n");
    return -1;
  }
  if (write_bitmap_file(names[1], width, height, 1, mask_palette, mask) < 0) {
    std::printf("write bitmap file error '%s'\n", names[1].c_str());
    return -1;
  }
  return 0;
}
