// egatiles end to end: the built program run in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "testing/testing.h"

namespace {

constexpr std::size_t shapes_length = 32768;

TEST(egatiles, writes_the_sheet_or_a_line_on_failure) {
  temp_dir dir;
  const bytes shapes = pattern_bytes(shapes_length, 1);
  bytes longer = shapes;  // bytes past the 256 tiles are ignored
  longer.resize(40000, 0xEE);
  write_file(dir / "SHAPES.EGA", longer);
  write_file(dir / "out.bmp", std::string("BM, an earlier sheet"));  // replaced without a question
  EXPECT_EQ(run_program("egatiles", {"SHAPES.EGA", "out.bmp"}, dir.path), (program_result{0, ""}));
  const bytes bmp = read_file(dir / "out.bmp");
  ASSERT_EQ(bmp.size(), 32886u);
  EXPECT_EQ(std::pair(read_le32(&bmp[10]), bytes(bmp.begin() + 54, bmp.begin() + 118)), std::pair(118u, ega_colours));
  // Tile n lands at tile row n / 16, column n % 16; pixel (x, y) of the
  // sheet is stored in BMP row 255 - y, two pixels a byte, left one high.
  for (std::size_t y = 0; y < 256; ++y) {
    for (std::size_t x = 0; x < 256; x += 2) {
      const std::size_t tile = y / 16 * 16 + x / 16;
      ASSERT_EQ(bmp[118 + (255 - y) * 128 + x / 2], shapes[tile * 128 + y % 16 * 8 + x % 16 / 2]) << x << "," << y;
    }
  }
  write_file(dir / "SHORT.EGA", pattern_bytes(shapes_length - 1, 2));
  std::filesystem::create_directory(dir / "folder");
  const std::string usage = "usage: egatiles [options] SHAPES.EGA OUTPUT.BMP\n"
      "option: --help             print usage\n";
  const std::string e = "egatiles";
  expect_runs(dir.path, std::vector<run_case>{
      {e, {}, 1, "no shapes filename\n"}, {e, {"a"}, 1, "no output bitmap filename\n"},
      {e, {"a", "b", "--help"}, 1, usage},
      {e, {"MISSING.EGA", "x.bmp"}, 1, "open error 'MISSING.EGA'\n"},
      {e, {"SHORT.EGA", "x.bmp"}, 1, "read error 'SHORT.EGA'\n"},
      {e, {"SHAPES.EGA", "folder"}, 1, "open error 'folder'\n"},
      {e, {"SHAPES.EGA", "./SHAPES.EGA"}, 1, "output is input file './SHAPES.EGA'\n"},
      {e, {"folder", "x.bmp"}, 1, "open error 'folder'\n"},
      // Arguments swapped: the shapes file is no sheet to replace.
      {e, {"tiles.bmp", "SHAPES.EGA"}, 1, "output is not a bitmap file 'SHAPES.EGA'\n"},
  });
  EXPECT_FALSE(std::filesystem::exists(dir / "x.bmp"));
  EXPECT_EQ(read_file(dir / "SHAPES.EGA"), longer);
}

}  // namespace
