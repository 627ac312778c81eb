// The sample generator's encodings, checked through the platforms' own
// decoders: hi-res colours through the renderer, the PC-98 and X68000
// shape files by drawing them back into a sheet.
#include <gtest/gtest.h>

#include "apple2/apple2.h"
#include "pc98/pc98.h"
#include "samples/samples.h"
#include "x68k/x68k.h"

TEST(sample_hires, solid_runs_render_in_their_colour) {
  const render_options options;
  const render_geometry geometry = compute_render_geometry(options);
  for (std::uint8_t colour :
       {hires_black, hires_pink, hires_green, hires_blue, hires_orange, hires_white}) {
    std::array<std::uint8_t, 14> dots;
    dots.fill(colour);
    row_buffer row{};
    render_shape_row(encode_hires_byte(std::span<const std::uint8_t, 7>(dots.data(), 7), 0),
                     encode_hires_byte(std::span<const std::uint8_t, 7>(dots.data() + 7, 7), 7),
                     options, geometry, row);
    // The outer columns may stay dark: the renderer fills gaps only between two lit dots.
    for (int x = 1; x < 13; ++x) {
      EXPECT_EQ(row[static_cast<std::size_t>(x)], colour)
          << "colour " << int{colour} << ", column " << x;
    }
  }
}

TEST(sample_shapes, pc98_records_draw_the_sheet_back) {
  const std::vector<std::uint8_t> sheet = draw_sample_pc98_sheet();
  const std::array<std::vector<std::uint8_t>, 2> files = make_sample_pc98_shapes();
  std::vector<std::uint8_t> drawn(sheet.size(), 0);
  for (int cell = 0; cell < pc98_sheet_rows * pc98_sheet_columns; ++cell) {
    const pc98_shape& shape = pc98_shape_table[static_cast<std::size_t>(cell)];
    if (shape.disk == 0) continue;
    const auto& file = files[static_cast<std::size_t>(shape.disk - 1)];
    ASSERT_EQ(draw_pc98_tile(cell / pc98_sheet_columns, cell % pc98_sheet_columns,
                             std::span(file).subspan(static_cast<std::size_t>(shape.offset)),
                             shape.planes, drawn),
              0);
  }
  // 3-plane records carry no mask, so their see-through pixels come back black.
  for (std::size_t i = 0; i < sheet.size(); ++i) {
    const std::size_t x = i % pc98_sheet_width, y = i / pc98_sheet_width;
    const std::size_t cell = y / pc98_tile_size * pc98_sheet_columns + x / pc98_tile_size;
    const int planes = pc98_shape_table[cell].planes;
    ASSERT_EQ(drawn[i], planes == 3 ? sheet[i] & 7 : sheet[i]) << "pixel " << x << ", " << y;
  }
}

TEST(sample_shapes, every_x68k_image_unpacks_to_its_cell) {
  const std::vector<std::uint8_t> sheet = draw_sample_x68k_sheet();
  const std::vector<std::uint8_t> shapes = make_sample_x68k_shapes();
  std::vector<std::uint8_t> drawn(sheet.size(), 0);
  for (int cell = 0; cell < x68k_sheet_rows * x68k_sheet_columns; ++cell) {
    const x68k_layout_entry& entry = x68k_sheet_layout[static_cast<std::size_t>(cell)];
    if (entry.tile_number < 0) continue;
    unpack_x68k_tile(cell / x68k_sheet_columns, cell % x68k_sheet_columns,
                     std::span<const std::uint8_t, x68k_tile_bytes>(
                         shapes.data() + entry.shape_offset, x68k_tile_bytes),
                     drawn);
  }
  for (std::size_t i = 0; i < sheet.size(); ++i) {
    ASSERT_EQ(drawn[i], sheet[i]) << "pixel " << i % x68k_sheet_width << ", "
                                  << i / x68k_sheet_width;
  }
}
