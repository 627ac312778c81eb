#include <gtest/gtest.h>

#include <string>

#include "apple2/apple2.h"

namespace {

// Rendered row as letters (B black, P pink, G green, L blue, O orange,
// W white), trailing black dropped.
std::string render_letters(std::uint8_t left, std::uint8_t right, render_options options) {
  const render_geometry geometry = compute_render_geometry(options);
  row_buffer row{};
  render_shape_row(left, right, options, geometry, row);
  std::string text;
  for (int x = 0; x < geometry.cell_width; ++x) text += "BPGLOW"[row[x] % 6];
  return text.substr(0, text.find_last_not_of('B') + 1);
}

// "12BGGLL" reads as twelve B, then G G L L.
std::string expand(const char* text) {
  std::string out;
  for (int count = 0; *text != 0; ++text) {
    if (*text >= '0' && *text <= '9') {
      count = count * 10 + (*text - '0');
    } else {
      out.append(static_cast<std::size_t>(count > 0 ? count : 1), *text);
      count = 0;
    }
  }
  return out;
}

// One tile row under the four colour modes; "-" where not checked.
struct row_case {
  std::uint8_t left, right;
  int tile_width, scale;
  bool half_shift;
  const char* expected[4];  // mono, no_white, blur, no_blur
};

TEST(apple2_render, rows_at_both_widths_in_every_colour_mode) {
  // clang-format off
  const row_case rows[] = {
      // left right width scale shift    mono       no_white         blur          no_blur
      {0x00, 0x00, 14, 1, false, {"",       "",              "",           ""}},
      {0x80, 0x80, 14, 1, false, {"",       "",              "",           ""}},
      {0x01, 0x00, 14, 1, false, {"W",      "G",             "G",          "G"}},
      {0x81, 0x00, 14, 1, false, {"W",      "O",             "O",          "O"}},
      {0x7F, 0x00, 14, 1, false, {"7W",     "GPGPGPG",       "7W",         "7W"}},
      {0x05, 0x00, 14, 1, false, {"WBW",    "GBG",           "GGG",        "GBG"}},
      {0x40, 0x01, 14, 1, false, {"6BWW",   "6BGP",          "6BWW",       "6BWW"}},
      {0x40, 0x82, 14, 1, false, {"6BWBW",  "6BGBO",         "6BGOO",      "6BGBO"}},
      {0x0B, 0x00, 14, 1, false, {"WWBW",   "GPBP",          "WWPP",       "WWBP"}},
      {0x1B, 0x00, 14, 1, false, {"WWBWW",  "GPBPG",         "WWBWW",      "WWBWW"}},
      {0x01, 0x40, 16, 1, false, {"BW12BW", "BG12BP",        "BG12BP",     "BG12BP"}},
      {0x81, 0x00, 14, 1, true,  {"-",      "O",             "-",          "-"}},
      {0x01, 0x00, 14, 2, false, {"-",      "GG",            "GGG",        "GG"}},
      {0x03, 0x00, 14, 2, false, {"-",      "-",             "4WP",        "GWWP"}},
      {0x05, 0x00, 14, 2, false, {"-",      "-",             "7G",         "GGBBGG"}},
      {0x1B, 0x00, 14, 2, false, {"-",      "-",             "4WPP4WG",    "-"}},
      {0x81, 0x00, 14, 2, true,  {"-",      "BOO",           "4O",         "-"}},
      {0x81, 0x00, 14, 2, false, {"-",      "OO",            "-",          "-"}},
      {0x40, 0x81, 14, 2, false, {"-",      "12BGGLL",       "-",          "-"}},
      {0x40, 0x81, 14, 2, true,  {"-",      "12BGGOLL",      "11BG5WL",    "-"}},
      {0x40, 0x80, 14, 2, true,  {"12B3W",  "12BGGO",        "-",          "-"}},
      {0xC0, 0x81, 14, 2, true,  {"-",      "13BOOLL",       "-",          "-"}},
      {0x40, 0xC0, 14, 2, true,  {"-",      "12BGGO12BL",    "-",          "-"}},
      {0x40, 0x82, 14, 2, false, {"-",      "-",             "11B4G4O",    "-"}},
      {0x7F, 0x7F, 14, 2, false, {"-",      "GGPPGGPPGGPPGGPPGGPPGGPPGGPP", "28W", "-"}},
      {0x01, 0x00, 16, 2, false, {"-",      "BBGG",          "B4G",        "-"}},
      {0x00, 0xC0, 16, 2, true,  {"-",      "-",             "28B4L",      "-"}},
  };
  // clang-format on
  for (const row_case& r : rows) {
    for (int mode = color_mono; mode <= color_no_blur; ++mode) {
      if (std::string(r.expected[mode]) == "-") continue;
      render_options options;
      options.tile_width = r.tile_width;
      options.scale = r.scale;
      options.color_mode = mode;
      options.half_shift = r.half_shift;
      EXPECT_EQ(render_letters(r.left, r.right, options), expand(r.expected[mode]))
          << std::hex << "left 0x" << int(r.left) << " right 0x" << int(r.right) << std::dec
          << " width " << r.tile_width << " scale " << r.scale << " shift " << r.half_shift
          << " mode " << mode;
    }
  }
}

TEST(apple2_render, canvas_conversions) {
  std::vector<std::uint8_t> canvas = {0, 1, 2, 3, 4, 5};
  remap_to_ega(canvas);
  EXPECT_EQ(canvas, (std::vector<std::uint8_t>{0, 5, 2, 9, 12, 15}));

  // One row of pairs of equal hi-res colours, stripes by column.
  canvas = {1, 1, 4, 4, 2, 2, 3, 3};
  dither_stripe(canvas, 8, 1, digital_dither_pairs);
  EXPECT_EQ(canvas, (std::vector<std::uint8_t>{3, 1, 2, 6, 4, 4, 5, 1}));

  // A 2 x 2 block of blue: a checkerboard of cyan and light blue.
  canvas = {3, 3, 3, 3};
  dither_cross(canvas, 2, 2, ega_dither_pairs);
  EXPECT_EQ(canvas, (std::vector<std::uint8_t>{3, 9, 9, 3}));
  canvas = {3, 3, 3, 3};
  dither_stripe(canvas, 2, 2, ega_dither_pairs);
  EXPECT_EQ(canvas, (std::vector<std::uint8_t>{3, 9, 3, 9}));
}

}  // namespace
