// The sample tile set encoded in every platform's shape format:
//   SHAPES.EGA   256 tiles of 16 x 16, two pixels a byte, EGA colours
//   Apple II     two files of 16 rows x 256 tiles of hi-res bytes (14 dots a row)
//   PC-98        512 x 736 sheet packed into 3- and 4-plane records of two files
//   X68000       576 x 792 sheet packed into 328 images of 36 x 36, four bits a pixel
// Tile cells that repeat a tile number (extra animation images) are drawn
// as the next frames of that tile.
#include <map>

#include "apple2/apple2.h"
#include "pc98/pc98.h"
#include "samples/samples.h"
#include "x68k/x68k.h"

namespace {

// Ink -> colour index, the see-through ink last: EGA as drawn (see-through
// black); hi-res colour by hue; digital colour to a near one of the 8 (greys
// to white and blue, light green and light red to yellow), see-through to
// black with the mask bit.
// clang-format off
constexpr std::array<std::uint8_t, 17> ink_to_ega =     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0};
constexpr std::array<std::uint8_t, 17> ink_to_hires =   {0, 3, 2, 3, 4, 1, 4, 5, 3, 3,  2,  5,  5,  1,  4,  5, 0};
constexpr std::array<std::uint8_t, 17> ink_to_digital = {0, 1, 4, 5, 2, 3, 2, 7, 1, 5,  6,  7,  6,  3,  6,  7, 8};
// clang-format on

constexpr int apple_tile_width = 14;
constexpr int apple_tile_rows = 16;

// Draws every cell of a sheet whose `tile_at(cell)` is not negative, at
// `cell_size`, with the inks mapped to digital colours; a tile number met
// again gets the next animation frame.
template <class TileAt>
std::vector<std::uint8_t> draw_digital_sheet(int columns, int rows, int cell_size, TileAt tile_at) {
  const int width = columns * cell_size;
  std::vector<std::uint8_t> sheet(static_cast<std::size_t>(width * rows * cell_size), 0);
  std::map<int, int> frames;
  for (int cell = 0; cell < columns * rows; ++cell) {
    const int number = tile_at(cell);
    if (number < 0) continue;
    const art_canvas tile = draw_sample_tile(number, frames[number]++, cell_size, cell_size);
    const int left = cell % columns * cell_size, top = cell / columns * cell_size;
    for (int y = 0; y < cell_size; ++y) {
      for (int x = 0; x < cell_size; ++x) {
        sheet[static_cast<std::size_t>((top + y) * width + left + x)] =
            ink_to_digital[tile.pixels[static_cast<std::size_t>(y * cell_size + x)]];
      }
    }
  }
  return sheet;
}

}  // namespace

std::uint8_t encode_hires_byte(std::span<const std::uint8_t, 7> colours, int first_column) {
  // The palette bit follows the majority: green and pink need 0, blue and orange 1.
  int low = 0, high = 0;
  for (std::uint8_t c : colours) {
    low += c == hires_green || c == hires_pink;
    high += c == hires_blue || c == hires_orange;
  }
  int byte = high > low ? 0x80 : 0;
  // A coloured dot is lit only in the columns that show its colour (green
  // and orange even, pink and blue odd); the dark ones between are filled
  // in by the renderer. White lights every dot.
  for (int i = 0; i < 7; ++i) {
    const bool even = (first_column + i) % 2 == 0;
    const std::uint8_t c = colours[static_cast<std::size_t>(i)];
    if (c == hires_white || ((c == hires_green || c == hires_orange) && even) ||
        ((c == hires_pink || c == hires_blue) && !even)) {
      byte |= 1 << i;
    }
  }
  return static_cast<std::uint8_t>(byte);
}

std::vector<std::uint8_t> make_sample_ega_shapes() {
  std::vector<std::uint8_t> shapes;
  shapes.reserve(256 * 128);
  for (int number = 0; number < 256; ++number) {
    const art_canvas tile = draw_sample_tile(number, 0, 16, 16);
    for (std::size_t i = 0; i < tile.pixels.size(); i += 2) {
      shapes.push_back(static_cast<std::uint8_t>(ink_to_ega[tile.pixels[i]] << 4 |
                                                 ink_to_ega[tile.pixels[i + 1]]));
    }
  }
  return shapes;
}

std::array<std::vector<std::uint8_t>, 2> make_sample_apple_shapes() {
  std::array<std::vector<std::uint8_t>, 2> files;
  for (auto& file : files) file.assign(shape_file_bytes, 0);
  for (int number = 0; number < 256; ++number) {
    const art_canvas tile = draw_sample_tile(number, 0, apple_tile_width, apple_tile_rows);
    for (int row = 0; row < apple_tile_rows; ++row) {
      std::array<std::uint8_t, apple_tile_width> colours{};
      for (int x = 0; x < apple_tile_width; ++x) {
        colours[static_cast<std::size_t>(x)] =
            ink_to_hires[tile.pixels[static_cast<std::size_t>(row * apple_tile_width + x)]];
      }
      const std::size_t at = static_cast<std::size_t>(256 * row + number);
      files[0][at] = encode_hires_byte(std::span<const std::uint8_t, 7>(colours.data(), 7), 0);
      files[1][at] = encode_hires_byte(std::span<const std::uint8_t, 7>(colours.data() + 7, 7), 7);
    }
  }
  return files;
}

std::vector<std::uint8_t> draw_sample_pc98_sheet() {
  // Rows 21 and 22 all name cell 0 as their primary cell; they get the spark frames.
  return draw_digital_sheet(pc98_sheet_columns, pc98_sheet_rows, pc98_tile_size, [](int cell) {
    const pc98_shape& shape = pc98_shape_table[static_cast<std::size_t>(cell)];
    if (shape.disk == 0) return -1;
    return cell >= 21 * pc98_sheet_columns ? 320 + cell - 21 * pc98_sheet_columns : shape.cell;
  });
}

std::array<std::vector<std::uint8_t>, 2> make_sample_pc98_shapes() {
  const std::vector<std::uint8_t> sheet = draw_sample_pc98_sheet();
  std::array<std::vector<std::uint8_t>, 2> files;
  for (std::size_t d = 0; d < files.size(); ++d)
    files[d].assign(static_cast<std::size_t>(pc98_disks[d].shape_size), 0);
  for (int cell = 0; cell < pc98_sheet_rows * pc98_sheet_columns; ++cell) {
    const pc98_shape& shape = pc98_shape_table[static_cast<std::size_t>(cell)];
    if (shape.disk == 0) continue;
    std::span<std::uint8_t> record =
        std::span(files[static_cast<std::size_t>(shape.disk - 1)])
            .subspan(static_cast<std::size_t>(shape.offset),
                     static_cast<std::size_t>(shape.planes * pc98_plane_bytes));
    pack_pc98_tile(cell / pc98_sheet_columns, cell % pc98_sheet_columns, record, shape.planes,
                   sheet);
  }
  return files;
}

std::vector<std::uint8_t> draw_sample_x68k_sheet() {
  return draw_digital_sheet(x68k_sheet_columns, x68k_sheet_rows, x68k_cell_pixels, [](int cell) {
    return x68k_sheet_layout[static_cast<std::size_t>(cell)].tile_number;
  });
}

std::vector<std::uint8_t> make_sample_x68k_shapes() {
  const std::vector<std::uint8_t> sheet = draw_sample_x68k_sheet();
  std::vector<std::uint8_t> colours(sheet.size()), mask(sheet.size());
  for (std::size_t i = 0; i < sheet.size(); ++i) {
    colours[i] = sheet[i] & 7;
    mask[i] = sheet[i] >> 3 & 1;
  }
  std::vector<std::uint8_t> shapes(x68k_shape_bytes, 0);
  for (int cell = 0; cell < x68k_sheet_rows * x68k_sheet_columns; ++cell) {
    const x68k_layout_entry& entry = x68k_sheet_layout[static_cast<std::size_t>(cell)];
    if (entry.tile_number < 0) continue;
    pack_x68k_tile(cell / x68k_sheet_columns, cell % x68k_sheet_columns,
                   std::span<std::uint8_t, x68k_tile_bytes>(shapes.data() + entry.shape_offset,
                                                            x68k_tile_bytes),
                   colours, mask);
  }
  return shapes;
}
