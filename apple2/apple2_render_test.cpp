#include <gtest/gtest.h>

#include <tuple>

#include "apple2/apple2.h"

namespace {

// Render options from command-line words: --16, --2, --half-shift and a
// colour mode (blur when none is named).
render_options options_from(std::string_view words) {
  const auto has = [words](std::string_view word) { return words.find(word) != words.npos; };
  render_options options;
  if (has("--16")) options.tile_width = 16;
  if (has("--2")) options.scale = 2;
  options.half_shift = has("--half-shift");
  if (has("--mono")) options.color_mode = color_mono;
  if (has("--no-white")) options.color_mode = color_no_white;
  if (has("--no-blur")) options.color_mode = color_no_blur;
  return options;
}

TEST(apple2_render, worked_rows) {
  // Each row: the two shape bytes, the options, and the rendered row as
  // letters (B black, P pink, G green, L blue, O orange, W white), a run of
  // three or more as its length and one letter ("12BGGLL": twelve B, then
  // G G L L), trailing black dropped.
  // clang-format off
  const std::tuple<std::uint8_t, std::uint8_t, const char*, const char*> rows[] = {
      {0x80, 0x80, "", ""},  // a palette bit lights nothing
      {0x01, 0x00, "", "G"}, {0x01, 0x00, "--mono", "W"}, {0x81, 0x00, "", "O"},
      {0x7F, 0x00, "", "7W"}, {0x7F, 0x00, "--no-white", "GPGPGPG"}, {0x05, 0x00, "", "3G"},
      {0x05, 0x00, "--no-blur", "GBG"},
      {0x40, 0x01, "", "6BWW"},  // adjacent across the bytes
      {0x40, 0x01, "--no-white", "6BGP"},
      {0x40, 0x82, "", "6BGOO"},  // the gap at half_width takes O
      {0x0B, 0x00, "", "WWPP"}, {0x0B, 0x00, "--no-blur", "WWBP"},
      {0x1B, 0x00, "", "WWBWW"},  // a gap between whites stays
      {0x01, 0x40, "--16", "BG12BP"}, {0x01, 0x00, "--2 --no-white", "GG"},
      {0x01, 0x00, "--2 --no-blur", "GG"}, {0x01, 0x00, "--2", "3G"},
      {0x03, 0x00, "--2 --no-blur", "GWWP"}, {0x03, 0x00, "--2", "4WP"},
      {0x05, 0x00, "--2 --no-blur", "GGBBGG"}, {0x05, 0x00, "--2", "7G"},
      {0x1B, 0x00, "--2", "4WPP4WG"}, {0x81, 0x00, "--2 --half-shift --no-white", "BOO"},
      {0x81, 0x00, "--2 --no-white", "OO"}, {0x81, 0x00, "--2 --half-shift", "4O"},
      {0x40, 0x81, "--2 --no-white", "12BGGLL"},
      {0x40, 0x81, "--2 --half-shift --no-white", "12BGGOLL"},  // the half-dot rule
      {0x40, 0x80, "--2 --half-shift --no-white", "12BGGO"},
      {0x40, 0x80, "--2 --half-shift --mono", "12B3W"},
      {0xC0, 0x81, "--2 --half-shift --no-white", "13BOOLL"},
      {0x40, 0xC0, "--2 --half-shift --no-white", "12BGGO12BL"},  // dot 6 half outside
      {0x40, 0x82, "--2", "11B4G4O"}, {0x40, 0x81, "--2 --half-shift", "11BG5WL"},
      {0x7F, 0x7F, "--2 --no-white", "GGPPGGPPGGPPGGPPGGPPGGPPGGPP"}, {0x7F, 0x7F, "--2", "28W"},
      {0x01, 0x00, "--16 --2", "B4G"}, {0x01, 0x00, "--16 --2 --no-white", "BBGG"},
      {0x00, 0xC0, "--16 --2 --half-shift", "28B4L"},
      {0x00, 0x40, "--2", "25B3P"},  // last entry: no white neighbour
      {0x00, 0xB0, "--2 --half-shift", "22BL4WO"},  // entry 26 next to white
      {0x00, 0x60, "", "12BWW"},  // the last entry blends too
      {0xA0, 0x01, "--2 --half-shift", "10B4L3P"},  // the gap left of half_width takes L
  };
  // clang-format on
  for (const auto& [left, right, words, expected] : rows) {
    const render_options options = options_from(words);
    const render_geometry geometry = compute_render_geometry(options);
    row_buffer row{};
    render_shape_row(left, right, options, geometry, row);
    std::string letters;
    const auto width = static_cast<std::size_t>(geometry.cell_width);
    for (std::size_t x = 0, run = 1; x < width; x += run, run = 1) {
      while (x + run < width && row[x + run] == row[x]) ++run;
      const char letter = "BPGLOW"[row[x] % 6];
      letters += run > 2 ? std::to_string(run) + letter : std::string(run, letter);
    }
    // Runs alternate, so a trailing black run follows a non-black letter.
    if (letters.back() == 'B') letters.erase(letters.find_last_not_of("0123456789B") + 1);
    EXPECT_EQ(letters, expected) << std::hex << int(left) << ' ' << int(right) << " '" << words << "'";
  }
}

TEST(apple2_render, ega_remap_and_dithers) {
  std::vector<std::uint8_t> canvas = {0, 1, 2, 3, 4, 5};
  remap_to_ega(canvas);
  EXPECT_EQ(canvas, (std::vector<std::uint8_t>{0, 5, 2, 9, 12, 15}));
  // Stripes by column only: both rows alike.
  canvas = {1, 1, 4, 4, 2, 2, 1, 1, 4, 4, 2, 2};
  dither_stripe(canvas, 6, 2, digital_dither_pairs);
  EXPECT_EQ(canvas, (std::vector<std::uint8_t>{3, 1, 2, 6, 4, 4, 3, 1, 2, 6, 4, 4}));
  // A cross over two rows gives every index its first colour once and its
  // second once.
  const std::vector<std::uint8_t> indices = {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5};
  canvas = indices;
  dither_cross(canvas, 6, 2, ega_dither_pairs);
  EXPECT_EQ(canvas, (std::vector<std::uint8_t>{0, 13, 10, 9, 6, 15, 0, 5, 2, 3, 12, 15}));
  canvas = indices;
  dither_cross(canvas, 6, 2, digital_dither_pairs);
  EXPECT_EQ(canvas, (std::vector<std::uint8_t>{0, 1, 4, 1, 2, 7, 0, 3, 4, 5, 6, 7}));
}

}  // namespace
