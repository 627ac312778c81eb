#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "apple2/apple2.h"
#include "testing/dos33_builder.h"
#include "testing/testing.h"

namespace {

const std::string shape0("S\x01HP0", 5);
const std::string shape1("S\x01HP1", 5);

// Tile 0, row 0: a lone green dot at column 0. Tile 17, row 2: every dot of
// both bytes lit. `right_length` shortens the second file; `damaged_first`
// puts before them an entry whose T/S list lies past the last track.
dos33_image make_disk(std::size_t right_length = 4096, bool damaged_first = false) {
  bytes left(4096, 0), right(right_length, 0);
  left[0] = 0x01;
  left[256 * 2 + 17] = right[256 * 2 + 17] = 0x7F;
  dos33_image image;
  if (damaged_first) image.entry(image.add_file("D", 0x04, bytes(10)))[0] = 0x23;
  image.add_file(shape0, 0x04, dos33_image::with_length_header(0x04, left));
  image.add_file(shape1, 0x04, dos33_image::with_length_header(0x04, right));
  return image;
}

// A catalog chain from 17/15 through every sector of tracks 1 to 34 but the
// VTOC, each sector also a T/S list of that chain and holding 7 entries of
// sector count 1 that start it: 3794 files of 542 list sectors each.
bytes make_catalog_maze() {
  dos33_image image(35, 1);
  for (int from = 17 * 16 + 15, to = 16; to <= 35 * 16; ++to) {
    if (to == 17 * 16 || to == 17 * 16 + 15) continue;
    const std::span<std::uint8_t> sector = image.sector(from / 16, from % 16);
    for (std::size_t k = 0; k < 7; ++k) {
      sector[11 + 35 * k] = 17;
      sector[12 + 35 * k] = 15;
      sector[44 + 35 * k] = 1;
    }
    sector[1] = static_cast<std::uint8_t>(to / 16 % 35);  // track 35: the end
    sector[2] = static_cast<std::uint8_t>(to % 16);
    from = to;
  }
  return image.as_dos_order();
}

TEST(a2tiles, sheets_follow_the_options_and_failures_write_nothing) {
  temp_dir dir;
  write_file(dir / "KVboot.dsk", make_disk().as_dos_order());
  write_file(dir / "--2", make_disk().as_dos_order());
  write_file(dir / "damaged.dsk", make_disk(4096, true).as_dos_order());
  write_file(dir / "short.dsk", make_disk(4095).as_dos_order());
  write_file(dir / "maze.dsk", make_catalog_maze());
  write_file(dir / "game.po", make_disk().as_prodos_order());
  std::filesystem::create_directory(dir / "folder");
  write_sparse_file(dir / "huge.dsk", (std::uintmax_t{1} << 31) + 1);
  // Hi-res and digital colours as BMP entries (blue, green, red, 0).
  bytes hires = {0, 0, 0, 0, 0xD0, 0x50, 0xD0, 0, 0x50, 0xD0, 0x60, 0, 0xFF, 0xA0, 0x50, 0,
                 0x20, 0x80, 0xE0, 0, 0xFF, 0xFF, 0xFF, 0};
  bytes digital = {0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0,
                   0, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0};
  hires.resize(64);
  digital.resize(64);
  const bytes& ega = ega_colours;
  // arguments, BMP file length, pixel (0, 0) (tile 0's dot), the pixel one
  // column into tile 17's lit row (on the last canvas row of that row, which
  // --2 draws twice), palette, everything printed
  const std::tuple<std::vector<std::string>, std::size_t, int, int, bytes, std::string> sheets[] = {
      {{"out.bmp"}, 28790, 2, 5, hires, ""}, {{"--16", "--ega", "out.bmp"}, 32886, 0, 15, ega, ""},
      {{"--2", "--dither", "out.bmp"}, 114806, 4, 7, digital, ""},
      // The blur fills column 1 with the green half dot; (33, 37) is even.
      {{"--16", "--2", "--dither2", "--ega", "out.bmp"}, 131190, 0, 10, ega, ""},
      {{"--blur", "--mono", "out.bmp"}, 28790, 5, 5, hires, ""},  // the last mode wins
      {{"--dither", "--half-shift", "out.bmp"}, 28790, 2, 5, hires, ""},  // need --2
      {{"--disk", "--2", "out.bmp"}, 28790, 2, 5, hires, ""},  // an image named "--2"
      {{"--disk", "damaged.dsk", "out.bmp"}, 28790, 2, 5, hires,
       "illegal track/sector (23/0F)\ncan't get track/sector list 'damaged.dsk'\n"},
  };
  for (const auto& [args, length, dot, lit, colours, output] : sheets) {
    SCOPED_TRACE(testing::PrintToString(args));
    ASSERT_EQ(run_program("a2tiles", args, dir.path), (program_result{0, output}));
    EXPECT_EQ(std::filesystem::file_size(dir / "out.bmp"), length);
    const bitmap_image bmp = load_bitmap(dir / "out.bmp");
    const std::uint32_t width = bmp.header.width, scale = bmp.header.height / 256;
    EXPECT_EQ(std::tuple(bmp.canvas.at(0), bmp.canvas.at(((16 + 2) * scale + scale - 1) * width + width / 16 + 1), bmp.palette),
              std::tuple(dot, lit, colours));
  }
  const std::string unread = "\nread disk image error '";
  const std::string a2 = "a2tiles";
  expect_runs(dir.path, std::vector<run_case>{
      {a2, {}, 1, "no output bitmap filename\n"}, {a2, {"new.bmp", "--disk"}, 1, "no disk image filename\n"},
      {a2, {"--disk", "none.dsk", "new.bmp"}, 1, "open error 'none.dsk'" + unread + "none.dsk'\n"},
      {a2, {"--disk", "short.dsk", "new.bmp"}, 1,
       "file size mismatch '" + shape1 + "' 4095 != 4096" + unread + "short.dsk/" + shape1 + "' size=0xFFF\n"},
      // ProDOS order misreads this DOS-order image: the last order option wins.
      {a2, {"--do", "--po", "new.bmp"}, 1,
       "file size mismatch '" + shape0 + "' 0 != 4096" + unread + "KVboot.dsk/" + shape0 + "' size=0x0\n"},
      {a2, {"KVboot.dsk"}, 1, "output is input file 'KVboot.dsk'\n"},
      // --disk forgotten: the image is no sheet to replace.
      {a2, {"game.po"}, 1, "output is not a bitmap file 'game.po'\n"},
      {a2, {"--disk", "folder", "new.bmp"}, 1, "open error 'folder'" + unread + "folder'\n"},
      {a2, {"--disk", "huge.dsk", "new.bmp"}, 1, "memory exhaust!" + unread + "huge.dsk'\n"},
      {a2, {"--disk", "maze.dsk", "new.bmp"}, 1,
       "file not found '" + shape0 + "'" + unread + "maze.dsk/" + shape0 + "'\n"},
  });
  EXPECT_FALSE(std::filesystem::exists(dir / "new.bmp"));
  EXPECT_EQ(read_file(dir / "KVboot.dsk"), make_disk().as_dos_order());
  EXPECT_EQ(read_file(dir / "game.po"), make_disk().as_prodos_order());
  // Peak memory of every run above, the maze's included (not measurable
  // through a runner such as wine, nor under AddressSanitizer's shadow).
#if !defined(_WIN32) && !defined(SHAPETOOLS_SANITIZE)
  rusage children{};
  if (std::getenv("SHAPETOOLS_PROGRAM_RUNNER") == nullptr && getrusage(RUSAGE_CHILDREN, &children) == 0) {
    EXPECT_LT(children.ru_maxrss, 16 * 1024);  // kilobytes
  }
#endif
}

}  // namespace
