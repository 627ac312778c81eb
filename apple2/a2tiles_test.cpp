#include <gtest/gtest.h>

#include <filesystem>

#include "apple2/apple2.h"
#include "ega/ega.h"
#include "testing/dos33_builder.h"
#include "testing/testing.h"

namespace {

const std::string shape0("S\x01HP0", 5);
const std::string shape1("S\x01HP1", 5);

// Tile 0, row 0: a lone green dot at column 0. Tile 17, row 2: every dot of
// both bytes lit. `right_length` shortens the second file.
bytes make_disk(std::size_t right_length = 4096) {
  bytes left(4096, 0), right(right_length, 0);
  left[0] = 0x01;
  left[256 * 2 + 17] = right[256 * 2 + 17] = 0x7F;
  dos33_image image;
  image.add_file(shape0, 0x04, dos33_image::with_length_header(0x04, left));
  image.add_file(shape1, 0x04, dos33_image::with_length_header(0x04, right));
  return image.as_dos_order();
}

// Colour index of pixel (x, y) of a 4-bit BMP (rows stored bottom-up).
int pixel(const bytes& bmp, int width, int height, int x, int y) {
  const int row_length = ((width + 1) / 2 + 3) & ~3;
  const std::uint8_t b =
      bmp.at(118 + static_cast<std::size_t>((height - 1 - y) * row_length + x / 2));
  return x % 2 == 0 ? b >> 4 : b & 0x0F;
}

bool has_palette(const bytes& bmp, const std::array<std::uint8_t, 64>& palette) {
  return bmp.size() > 118 && std::equal(palette.begin(), palette.end(), bmp.begin() + 54);
}

struct a2tiles_run : testing::Test {
  temp_dir dir;
  void SetUp() override { write_file(dir / "KVboot.dsk", make_disk()); }
  program_result run(const std::vector<std::string>& args) {
    return run_program("a2tiles", args, dir.path);
  }
};

TEST_F(a2tiles_run, sheet_size_pixels_and_palette_follow_the_options) {
  struct row {
    std::vector<std::string> args;
    int width, height;
    std::size_t file_length;
    int green_dot;  // pixel (0, 0): tile 0's lone dot
    int lit_row;    // pixel (cell_width + 1, cell_height + 2 x scale): tile 17's lit row
    const std::array<std::uint8_t, 64>* palette;
  };
  const row rows[] = {
      {{"out.bmp"}, 224, 256, 28790, 2, 5, &hires_palette},
      {{"--16", "out.bmp"}, 256, 256, 32886, 0, 5, &hires_palette},
      {{"--2", "out.bmp"}, 448, 512, 114806, 2, 5, &hires_palette},
      {{"--16", "--2", "out.bmp"}, 512, 512, 131190, 0, 2, &hires_palette},  // a run's first half
                                                                             // dot
      {{"out.bmp", "--mono", "--blur"}, 224, 256, 28790, 2, 5, &hires_palette},  // last colour
                                                                                 // option wins
      {{"--blur", "--mono", "out.bmp"}, 224, 256, 28790, 5, 5, &hires_palette},
      {{"--no-white", "out.bmp"}, 224, 256, 28790, 2, 1, &hires_palette},
      {{"--ega", "out.bmp"}, 224, 256, 28790, 2, 15, &ega_palette},
      {{"--dither", "--half-shift", "out.bmp"}, 224, 256, 28790, 2, 5, &hires_palette},  // need --2
      {{"--mono", "--ega", "out.bmp"}, 224, 256, 28790, 5, 5, &hires_palette},
      {{"--2", "--dither", "--mono", "out.bmp"}, 448, 512, 114806, 5, 5, &hires_palette},
      {{"--2", "--dither2", "--ega", "out.bmp"}, 448, 512, 114806, 10, 15, &ega_palette},
      {{"--2", "--dither", "out.bmp"}, 448, 512, 114806, 4, 7, &digital_palette},
      {{"--disk", "--2", "out.bmp"}, 224, 256, 28790, 2, 5, &hires_palette},  // image named "--2"
  };
  write_file(dir / "--2", make_disk());
  write_file(dir / "out.bmp", std::string("an older file, replaced without a question"));
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << "row " << (&r - rows));
    const program_result result = run(r.args);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, "");
    const bytes bmp = read_file(dir / "out.bmp");
    ASSERT_EQ(bmp.size(), r.file_length);
    EXPECT_EQ(bmp[28], 4);  // bit count
    const int scale = r.height / 256;
    EXPECT_EQ(pixel(bmp, r.width, r.height, 0, 0), r.green_dot);
    EXPECT_EQ(pixel(bmp, r.width, r.height, r.width / 16 + 1, 16 * scale + 2 * scale), r.lit_row);
    EXPECT_TRUE(has_palette(bmp, *r.palette));
  }
}

TEST_F(a2tiles_run, failures_print_their_messages_and_write_nothing) {
  const program_result help = run({"--help"});
  EXPECT_EQ(help.status, 1);
  EXPECT_EQ(std::count(help.output.begin(), help.output.end(), '\n'), 18);
  EXPECT_EQ(help.output.substr(0, 36), "usage: a2tiles [options] OUTPUT.BMP\n");
  EXPECT_NE(
      help.output.find(
          "        --dither            dither graphics (stripe)         when scale x2 mode\n"),
      std::string::npos);

  write_file(dir / "short.dsk", make_disk(4095));
  write_file(dir / "bare.dsk", dos33_image().as_dos_order());
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{}, "no output bitmap filename\n"},
      {{"--2", "--ega"}, "no output bitmap filename\n"},
      {{"out.bmp", "--help"}, help.output},
      {{"--bogus", "--help"}, "unknown option '--bogus'\n"},
      {{"-", "out.bmp"}, "unknown option '-'\n"},
      {{"out.bmp", "--disk"}, "no disk image filename\n"},
      {{"out.bmp", "b.bmp"}, "unneeded parameter 'b.bmp'\n"},
      {{"--disk", "none.dsk", "out.bmp"},
       "open error 'none.dsk'\nread disk image error 'none.dsk'\n"},
      {{"--disk", "short.dsk", "out.bmp"},
       "file size mismatch '" + shape1 + "' 4095 != 4096\nread disk image error 'short.dsk/" +
           shape1 + "' size=0xFFF\n"},
      {{"--disk", "bare.dsk", "out.bmp"},
       "file not found '" + shape0 + "'\nread disk image error 'bare.dsk/" + shape0 + "'\n"},
      // ProDOS order misreads this DOS-order image: the last order option wins.
      {{"--do", "--po", "out.bmp"},
       "file size mismatch '" + shape0 + "' 0 != 4096\nread disk image error 'KVboot.dsk/" +
           shape0 + "' size=0x0\n"},
      {{"no/such/folder.bmp"}, "open error 'no/such/folder.bmp'\n"},
  };
  for (const auto& [args, output] : rows) {
    const program_result result = run(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, output);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.bmp"));
  }
  if (std::filesystem::exists("/dev/full")) {
    const program_result full = run({"/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.output, "error: write_bitmap() - can't write bitmap data\n");
  }
}

}  // namespace
