#include "x68k/x68k.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "fat12/fat12.h"
#include "pc98/pc98.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

namespace fs = std::filesystem;
using args = std::vector<std::string>;

// The image shown in cell (row, column), and image k of a shape file.
int image_in(int row, int column) {
  return x68k_sheet_layout[static_cast<std::size_t>(row * 16 + column)].shape_offset / 648;
}
bytes image_of(const bytes& shape, int k) {
  return bytes(shape.begin() + k * 648, shape.begin() + (k + 1) * 648);
}

// Cells whose image the ordering checks of the layout table leave open:
// {row, column, tile, image}. The extractor test shows more of them.
TEST(x68k_tables, layout_cells) {
  const int cells[][4] = {{4, 13, 77, 67}, {16, 0, 10, 11}, {18, 2, 74, 156}, {21, 4, 341, 89}};
  for (const auto& c : cells) {
    const x68k_layout_entry& e = x68k_sheet_layout[static_cast<std::size_t>(c[0] * 16 + c[1])];
    EXPECT_EQ(std::pair(e.tile_number, e.shape_offset), std::pair(c[2], c[3] * 648))
        << c[0] << "," << c[1];
  }
}

// The programs run on a synthetic disk: a random shape.pat, named in upper
// case, on a fragmented chain behind another file.
class x68k_programs : public ::testing::Test {
 protected:
  void SetUp() override { write_file(dir / "disk.xdf", disk); }

  static bytes make_disk(const bytes& contents) {
    fat12_volume volume;
    volume.add_file_contiguous("README  TXT", pattern_bytes(3000, 1), 2);
    std::vector<int> chain;  // clusters 700-799, then 5 on
    for (int i = 0; i < fat12_volume::clusters_for(contents.size()); ++i) {
      chain.push_back(i < 100 ? 700 + i : i - 95);
    }
    volume.add_file("SHAPE   PAT", contents, chain);
    return volume.as_xdf();
  }

  auto tiles(args a, std::string in = "") { return run_program("x68ktiles", a, dir.path, in); }
  auto patch(args a, std::string in = "") { return run_program("x68ktilepatch", a, dir.path, in); }
  // Extracts s.bmp (sheet) and m.bmp (mask) afresh, optionally re-saved with `bits`
  // and only the top `rows` cell rows.
  void extract(int bits = 4, int rows = 22) {
    ASSERT_EQ(tiles({"--disk", "disk.xdf", "s.bmp", "m.bmp"}, "y\ny\n").status, 0);
    if (bits == 4) return;
    resave_bitmap(dir / "s.bmp", static_cast<std::uint16_t>(bits), rows * 36u);
    resave_bitmap(dir / "m.bmp", static_cast<std::uint16_t>(bits), rows * 36u);
  }
  bytes shape_in(const std::string& name) {
    disk_image image;
    bytes result(x68k_shape_bytes);
    EXPECT_EQ(load_disk_image(image, (dir / name).string(), 0), 0);
    EXPECT_EQ(read_image_file(image, "shape.pat", result, true), 0);
    return result;
  }

  temp_dir dir;
  const bytes shape = [] {
    bytes s = pattern_bytes(x68k_shape_bytes, 11);
    s[0] = 0x78;  // pixels white without the mask bit, then black with it
    return s;
  }();
  const bytes disk = make_disk(shape);
};

TEST_F(x68k_programs, extracts_sheet_and_mask) {
  ASSERT_EQ(tiles({"s.bmp", "--disk", "disk.xdf", "m.bmp"}).status, 0);
  ASSERT_EQ(fs::file_size(dir / "s.bmp"), 228214u);
  ASSERT_EQ(fs::file_size(dir / "m.bmp"), 57086u);
  const bitmap_image sheet = load_bitmap(dir / "s.bmp");
  const bitmap_image mask = load_bitmap(dir / "m.bmp");
  EXPECT_EQ(sheet.palette, bytes(pc98_palette.begin(), pc98_palette.end()));
  EXPECT_EQ(mask.palette, bytes(mask_palette.begin(), mask_palette.end()));
  // Cell (row, column) shows image k (-1: black, no mask) pixel for pixel.
  auto shows = [&](int row, int column, int k) {
    for (int i = 0; i < 36 * 36; ++i) {
      const int x = i % 36, y = i / 36;
      const std::size_t at = std::size_t(row * 36 + y) * 576 + std::size_t(column * 36 + x);
      const int byte = k < 0 ? 0 : shape[std::size_t(k * 648 + y * 18 + x / 2)];
      const int pixel = x % 2 == 0 ? byte >> 4 : byte & 0x0F;
      ASSERT_EQ(sheet.canvas[at], pixel) << row << "," << column << " at " << x << "," << y;
      ASSERT_EQ(mask.canvas[at], pixel >> 3) << row << "," << column << " at " << x << "," << y;
    }
  };
  shows(0, 0, 0);  // image byte 0x78: indices 7 and 8, mask 0 and 1
  shows(2, 10, 51);
  shows(21, 1, 327);
  shows(4, 5, -1);
}

TEST_F(x68k_programs, extractor_messages) {
  write_file(dir / "s.xdf", make_disk(bytes(x68k_shape_bytes - 1)));
  write_file(dir / "b.xdf", make_disk(bytes(x68k_shape_bytes + 1)));
  write_file(dir / "old.bmp", std::string("old"));
  // Usage texts are compared by their first line.
  const std::tuple<args, int, std::string> cases[] = {
      {{}, 1, "no output bitmap filename\n"},
      {{"--disk"}, 1, "no disk image (mirath disk)\n"},
      {{"a.bmp", "b.bmp", "c.bmp"}, 1, "unneeded parameter 'c.bmp'\n"},
      {{"--help"}, 1, "usage: x68ktiles [options] OUTPUT.BMP [MASK.BMP]\n"},
      {{"s.bmp"}, 1, "open error 'kv-mirath.xdf'\nread disk image error kv-mirath.xdf\n"},
      {{"s.bmp", "--disk", "s.xdf"},
       1,
       "file size error 'shape.pat' 212543 < 212544\nread disk image error s.xdf/shape.pat\n"},
      {{"a", "--disk", "b.xdf"},
       0,
       "file size mismatch 'shape.pat' 212545 != 212544 ... ignored\n"},
      {{"--disk", "-d.xdf", "x.bmp"}, 1, "open error '-d.xdf'\nread disk image error -d.xdf\n"},
      {{"--disk", "disk.xdf", "old.bmp"},
       1,
       "already exists 'old.bmp'\noverwrite ? (Y or N): write bitmap file error 'old.bmp'\n"},
      {{"--disk", "disk.xdf", "./disk.xdf"}, 1, "output is input file './disk.xdf'\n"},
      {{"--disk", "disk.xdf", "new.bmp", "new.bmp"}, 1, "output file given twice 'new.bmp'\n"},
  };
  for (const auto& [arguments, status, output] : cases) {
    program_result r = tiles(arguments, "n\n");
    if (output.starts_with("usage")) r.output.resize(output.size());
    EXPECT_EQ(r.status, status) << output;
    EXPECT_EQ(r.output, output);
  }
  EXPECT_EQ(read_file(dir / "old.bmp"), bytes({'o', 'l', 'd'}));
  EXPECT_EQ(read_file(dir / "disk.xdf"), disk);
  EXPECT_FALSE(fs::exists(dir / "new.bmp"));
}

// Each question reads a line of its own; a line decides by its first
// character other than blanks and tabs, and any other line asks again.
TEST_F(x68k_programs, overwrite_answers_come_from_standard_input) {
  const std::string sheet = "already exists 's.bmp'\noverwrite ? (Y or N): ";
  const std::string mask = "already exists 'm.bmp'\noverwrite ? (Y or N): ";
  const std::string again = "overwrite ? (Y or N): ";
  const std::string no_mask = "write bitmap file error 'm.bmp'\n";
  const std::string no_sheet = "write bitmap file error 's.bmp'\n";
  // input, status, output, files replaced (the sheet first)
  const std::tuple<std::string, int, std::string, int> cases[] = {
      {"y\nY\n", 0, sheet + mask, 2},
      {" \tyes\nno\n", 1, sheet + mask + no_mask, 1},
      {"yy\n", 1, sheet + mask + "\n" + no_mask, 1},
      {"maybe\nsorry, no\nstay\n\ntry again\nn\n", 1,
       sheet + again + again + again + again + again + no_sheet, 0},
  };
  for (const auto& [input, status, output, replaced] : cases) {
    write_file(dir / "s.bmp", std::string("old"));
    write_file(dir / "m.bmp", std::string("old"));
    const program_result r = tiles({"--disk", "disk.xdf", "s.bmp", "m.bmp"}, input);
    EXPECT_EQ(r.status, status) << input;
    EXPECT_EQ(r.output, output);
    EXPECT_EQ(fs::file_size(dir / "s.bmp"), replaced > 0 ? 228214u : 3u) << input;
    EXPECT_EQ(fs::file_size(dir / "m.bmp"), replaced > 1 ? 57086u : 3u) << input;
  }
}

TEST_F(x68k_programs, unedited_sheet_patches_back_identically) {
  for (int bits : {4, 8, 24}) {
    extract(bits);
    fs::remove(dir / "out.xdf");
    EXPECT_EQ(patch({"s.bmp", "m.bmp", "--disk", "disk.xdf", "--write", "out.xdf"}).output, "");
    EXPECT_EQ(read_file(dir / "out.xdf"), disk) << bits;
  }
  // The one output that may be an input: the image being patched, after a
  // yes. The sheet puts back the bytes changed on the disk.
  write_file(dir / "disk.xdf", make_disk(bytes(x68k_shape_bytes, 0)));
  EXPECT_EQ(patch({"s.bmp", "m.bmp", "--disk", "disk.xdf", "--write", "disk.xdf"}, "y\n").output,
            "already exists 'disk.xdf'\noverwrite ? (Y or N): ");
  EXPECT_EQ(read_file(dir / "disk.xdf"), disk);
  // Without a mask every mask bit is cleared.
  EXPECT_EQ(patch({"--disk", "disk.xdf", "s.bmp"}).status, 0);
  bytes expected = shape;
  for (auto& b : expected) b &= 0x77;
  EXPECT_EQ(shape_in("kv-mirath.NEW.xdf"), expected);
  EXPECT_EQ(read_file(dir / "disk.xdf"), disk);
}

// A link at the output, or a chain of two, is followed: it stays a link and
// the file it names gets the new bytes, a missing one included.
TEST_F(x68k_programs, links_at_the_output_are_followed) {
  if (programs_run_through_runner()) GTEST_SKIP() << "Windows programs do not follow these links";
  extract();
  fs::create_directory(dir / "emu");
  write_file(dir / "emu" / "game.xdf", std::string("old"));
  fs::create_symlink("emu/game.xdf", dir / "one.xdf");
  fs::create_symlink("one.xdf", dir / "two.xdf");
  fs::create_symlink("emu/sheet.bmp", dir / "sheet-link.bmp");  // names no file yet
  EXPECT_EQ(patch({"s.bmp", "m.bmp", "--disk", "disk.xdf", "--write", "two.xdf"}, "y\n").status, 0);
  EXPECT_EQ(tiles({"--disk", "disk.xdf", "sheet-link.bmp"}).status, 0);
  EXPECT_EQ(read_file(dir / "emu" / "game.xdf"), disk);
  EXPECT_EQ(read_file(dir / "emu" / "sheet.bmp"), read_file(dir / "s.bmp"));
  for (const char* link : {"one.xdf", "two.xdf", "sheet-link.bmp"}) EXPECT_TRUE(fs::is_symlink(dir / link));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "emu"), {}), 2);  // nothing left beside them
}

// A write that fails part-way (a file size limit) leaves the old file.
TEST_F(x68k_programs, failed_write_leaves_the_old_file) {
  extract();
  const std::string ask = "overwrite ? (Y or N): ";
  const std::tuple<const char*, args, const char*, std::string> cases[] = {
      {"x68ktiles", {"--disk", "disk.xdf", "old.bmp"}, "old.bmp",
       "already exists 'old.bmp'\n" + ask + "write error 'old.bmp'\nwrite bitmap file error 'old.bmp'\n"},
      {"x68ktilepatch", {"s.bmp", "--disk", "disk.xdf", "--write", "old.xdf"}, "old.xdf",
       "already exists 'old.xdf'\n" + ask + "write error 'old.xdf'\nwrite disk image error disk.xdf\n"},
  };
  for (const auto& [program, arguments, file, output] : cases) {
    write_file(dir / file, std::string("old"));
    const auto before = std::distance(fs::directory_iterator(dir.path), {});
    const auto r = run_program_with_file_limit(program, arguments, dir.path, "y\n", 100 * 1024);
    if (!r) GTEST_SKIP() << "no file size limit for these programs";
    EXPECT_EQ(r->status, 1);
    EXPECT_EQ(r->output, output);
    EXPECT_EQ(read_file(dir / file), bytes({'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), before) << "a file was left";
  }
}

TEST_F(x68k_programs, edit_lands_in_its_image) {
  // Cell (2, 10) shows image 51. Its pixel (2, 1) becomes mid grey (white by
  // nearest colour) with a mid grey (set) mask pixel; the pixel to its right
  // keeps its colour and loses its mask.
  extract(24);
  bitmap_image sheet = load_bitmap(dir / "s.bmp");
  bitmap_image mask = load_bitmap(dir / "m.bmp");
  const auto at = static_cast<std::ptrdiff_t>(((2 * 36 + 1) * 576 + 10 * 36 + 2) * 3);
  std::fill_n(sheet.canvas.begin() + at, 3, 0x80);
  std::fill_n(mask.canvas.begin() + at, 3, 0x80);
  std::fill_n(mask.canvas.begin() + at + 3, 3, 0x00);
  save_bitmap(dir / "s.bmp", 576, 792, 24, {}, sheet.canvas);
  save_bitmap(dir / "m.bmp", 576, 792, 24, {}, mask.canvas);

  EXPECT_EQ(patch({"--disk", "disk.xdf", "s.bmp", "m.bmp"}).status, 0);
  bytes expected = shape;
  // Pixels 2 and 3 of row 1 are byte 19 of the image.
  expected[51 * 648 + 19] = static_cast<std::uint8_t>(0xF0 | (shape[51 * 648 + 19] & 7));
  EXPECT_EQ(shape_in("kv-mirath.NEW.xdf"), expected);
}

// Short sheets (16 and 18 rows) and --no-shores on a full one.
TEST_F(x68k_programs, short_sheets_take_stand_in_cells) {
  for (int rows : {16, 18, 22}) {
    for (bool no_shores : {false, true}) {
      extract(8, rows);
      const std::string out = std::to_string(rows) + (no_shores ? "n.xdf" : ".xdf");
      args arguments = {"--write", out, "--disk", "disk.xdf", "s.bmp", "m.bmp"};
      if (no_shores) arguments.push_back("--no-shores");
      ASSERT_EQ(patch(arguments).status, 0);
      const bytes patched = shape_in(out);
      // Cell (row, column) of the output holds what cell (r, c) showed (r -1:
      // a cleared shore image, colour 0 with the mask set).
      auto check = [&](int row, int column, int r, int c) {
        const bytes expected = r < 0 ? bytes(648, 0x88) : image_of(shape, image_in(r, c));
        EXPECT_EQ(image_of(patched, image_in(row, column)), expected)
            << out << " " << row << "," << column;
      };
      check(16, 0, rows > 16 ? 16 : 0, rows > 16 ? 0 : 10);
      check(21, 1, rows > 21 ? 21 : 7, rows > 21 ? 1 : 14);
      check(21, 2, 21, 2);  // no stand-in on a short sheet: disk bytes kept
      // Rows 19 and 20 stand in for the shore row 17 when it is on the sheet.
      for (int row : {17, 19, 20}) check(row, 15, no_shores ? -1 : rows == 18 ? 17 : row, 15);
    }
  }
}

TEST_F(x68k_programs, patch_messages_and_nothing_written_on_error) {
  extract();
  resave_bitmap(dir / "m.bmp", 8, 648);
  save_bitmap(dir / "h.bmp", 576, 575, 8, bytes(1024), bytes(576 * 575));
  save_bitmap(dir / "w.bmp", 577, 576, 8, bytes(1024), bytes(577 * 576));
  save_bitmap(dir / "t.bmp", 576, 793, 8, bytes(1024), bytes(576 * 793));
  write_file(dir / "old.xdf", std::string("old"));
  const std::pair<args, std::string> cases[] = {
      {{}, "no shapes bitmap filename\n"},
      {{"--disk"}, "no disk image (mirath disk)\n"},
      {{"--write"}, "no disk image to write (mirath disk)\n"},
      {{"--file"}, "no shape file name\n"},
      {{"a", "b", "c"}, "unneeded parameter 'c'\n"},
      {{"--help"}, "usage: x68ktilepatch [options] SHAPES.BMP [MASK.BMP]\n"},
      {{"none.bmp"}, "open error 'none.bmp'\nread bitmap file error 'none.bmp'\n"},
      {{"h.bmp"}, "bitmap size error 'h.bmp' 576 x 575\nread bitmap file error 'h.bmp'\n"},
      {{"w.bmp"}, "bitmap size error 'w.bmp' 577 x 576\nread bitmap file error 'w.bmp'\n"},
      {{"t.bmp"}, "bitmap size error 't.bmp' 576 x 793\nread bitmap file error 't.bmp'\n"},
      {{"s.bmp", "none.bmp"}, "open error 'none.bmp'\nread mask file error 'none.bmp'\n"},
      {{"s.bmp", "m.bmp"}, "bitmap and mask size mismatch\n"},
      {{"s.bmp"}, "open error 'kv-mirath.xdf'\nread disk image error kv-mirath.xdf\n"},
      {{"s.bmp", "--disk", "-d.xdf"}, "open error '-d.xdf'\nread disk image error -d.xdf\n"},
      {{"s.bmp", "--disk", "disk.xdf", "--file", "other.pat"},
       "can't find 'other.pat'\nread disk image error disk.xdf/other.pat\n"},
      {{"s.bmp", "--disk", "disk.xdf", "--write", "old.xdf"},
       "already exists 'old.xdf'\noverwrite ? (Y or N): "},
      {{"--write", "s.bmp", "s.bmp"}, "output is input file 's.bmp'\n"},
      {{"s.bmp", "m.bmp", "--disk", "disk.xdf", "--write", "./m.bmp"},
       "output is input file './m.bmp'\n"},
  };
  for (const auto& [arguments, output] : cases) {
    program_result r = patch(arguments, "n\n");
    if (output.starts_with("usage")) r.output.resize(output.size());
    EXPECT_EQ(r.status, 1) << output;
    EXPECT_EQ(r.output, output);
  }
  EXPECT_FALSE(fs::exists(dir / "kv-mirath.NEW.xdf"));
  EXPECT_EQ(read_file(dir / "disk.xdf"), disk);
  EXPECT_EQ(read_file(dir / "old.xdf"), bytes({'o', 'l', 'd'}));
}

}  // namespace
