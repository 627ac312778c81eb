// egatiles end to end: the built program run in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "bitmap/bitmap.h"
#include "ega/ega.h"
#include "testing/testing.h"

namespace {

constexpr std::size_t shapes_length = 32768;

// Canvas pixel (x, y) of a written 256 x 256 4-bit sheet.
int sheet_pixel(const bytes& bmp, int x, int y) {
  const std::size_t stored_row = static_cast<std::size_t>(255 - y);
  const std::uint8_t pair = bmp[118 + stored_row * 128 + static_cast<std::size_t>(x / 2)];
  return x % 2 == 0 ? pair >> 4 : pair & 0x0F;
}

TEST(egatiles, writes_the_sheet) {
  temp_dir dir;
  const bytes shapes = pattern_bytes(shapes_length, 1);
  write_file(dir / "SHAPES.EGA", shapes);
  const program_result r = run_program("egatiles", {"SHAPES.EGA", "out.bmp"}, dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "");

  const bytes bmp = read_file(dir / "out.bmp");
  ASSERT_EQ(bmp.size(), 32886u);
  EXPECT_EQ(read_le32(&bmp[10]), 118u);
  EXPECT_EQ(bytes(bmp.begin() + 54, bmp.begin() + 118), bytes(ega_palette.begin(), ega_palette.end()));
  // Byte 0 is the top-left pixel pair, stored in the last BMP row; the last
  // byte is the bottom-right pair of tile 255, at the end of the first row.
  EXPECT_EQ(bmp[118 + 255 * 128], shapes[0]);
  EXPECT_EQ(bmp[118 + 127], shapes[shapes_length - 1]);
  // Every pixel of tile 17 lands at x 16-31, y 16-31.
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const std::uint8_t pair = shapes[17 * 128 + static_cast<std::size_t>(y * 8 + x / 2)];
      ASSERT_EQ(sheet_pixel(bmp, 16 + x, 16 + y), x % 2 == 0 ? pair >> 4 : pair & 0x0F);
    }
  }

  // A longer file gives the same sheet; an existing output is replaced.
  bytes longer = shapes;
  longer.resize(40000, 0xEE);
  write_file(dir / "LONG.EGA", longer);
  write_file(dir / "again.bmp", std::string("old"));
  EXPECT_EQ(run_program("egatiles", {"LONG.EGA", "again.bmp"}, dir.path).status, 0);
  EXPECT_EQ(read_file(dir / "again.bmp"), bmp);
}

TEST(egatiles, failures) {
  temp_dir dir;
  write_file(dir / "SHORT.EGA", pattern_bytes(shapes_length - 1, 2));
  write_file(dir / "SHAPES.EGA", pattern_bytes(shapes_length, 3));
  std::filesystem::create_directory(dir / "folder");
  const std::string usage =
      "usage: egatiles [options] SHAPES.EGA OUTPUT.BMP\n"
      "option: --help             print usage\n";
  struct failure {
    std::vector<std::string> args;
    std::string output;
  };
  const failure cases[] = {
      {{}, "no shapes filename\n"},
      {{"a"}, "no output bitmap filename\n"},
      {{"--help", "a", "b"}, usage},
      {{"a", "b", "--help"}, usage},
      {{"a", "b", "c"}, "unneeded parameter 'c'\n"},
      {{"-", "a", "b"}, "unknown option '-'\n"},
      {{"--HELP"}, "unknown option '--HELP'\n"},
      {{"MISSING.EGA", "x.bmp"}, "open error 'MISSING.EGA'\n"},
      {{"SHORT.EGA", "x.bmp"}, "read error 'SHORT.EGA'\n"},
      {{"SHAPES.EGA", "folder"}, "open error 'folder'\n"},
      {{"SHAPES.EGA", "no/such/dir.bmp"}, "open error 'no/such/dir.bmp'\n"},
      {{"SHAPES.EGA", "./SHAPES.EGA"}, "output is input file './SHAPES.EGA'\n"},
  };
  for (const failure& f : cases) {
    const program_result r = run_program("egatiles", f.args, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, f.output);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "x.bmp"));
  EXPECT_EQ(read_file(dir / "SHAPES.EGA"), pattern_bytes(shapes_length, 3));

  // A folder given as the shapes file cannot be opened on Windows and
  // cannot be read elsewhere.
  const program_result folder = run_program("egatiles", {"folder", "x.bmp"}, dir.path);
  EXPECT_EQ(folder.status, 1);
  EXPECT_TRUE(folder.output == "open error 'folder'\n" || folder.output == "read error 'folder'\n")
      << folder.output;
}

}  // namespace
