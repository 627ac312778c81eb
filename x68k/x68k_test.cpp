#include "x68k/x68k.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "bitmap/bitmap.h"
#include "fat12/fat12.h"
#include "pc98/pc98.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

namespace fs = std::filesystem;

struct bmp {
  bitmap_header header;
  bytes palette;
  bytes canvas;
};

bmp load_bmp(const fs::path& path) {
  bmp result;
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  EXPECT_GE(read_bitmap(file, result.header, &result.palette, &result.canvas, false), 0) << path;
  std::fclose(file);
  return result;
}

void save_bmp(const fs::path& path, int width, int height, int bits, const bytes& palette,
              const bytes& canvas) {
  bitmap_header header;
  init_bitmap_header(header, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                     static_cast<std::uint16_t>(bits));
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  EXPECT_EQ(write_bitmap(file, header, palette.empty() ? nullptr : palette.data(), canvas), 0);
  std::fclose(file);
}

// Re-saves the top `height` rows of an indexed BMP at 24 bits, or at 8 bits
// with its colours moved to reversed indices.
void resave_bmp(const fs::path& path, int bits, int height = 792) {
  const bmp in = load_bmp(path);
  bytes palette(bits == 8 ? 1024 : 0, 0x40);
  for (std::size_t i = 0; i < palette.size() && i < in.palette.size(); ++i) {
    palette[1020 - i / 4 * 4 + i % 4] = in.palette[i];
  }
  bytes canvas;
  for (std::size_t i = 0; i < std::size_t{576} * static_cast<std::size_t>(height); ++i) {
    const auto colour = in.palette.begin() + in.canvas[i] * 4;
    if (bits == 8) canvas.push_back(static_cast<std::uint8_t>(255 - in.canvas[i]));
    if (bits == 24) canvas.insert(canvas.end(), colour, colour + 3);
  }
  save_bmp(path, 576, height, bits, palette, canvas);
}

// The image shown in cell (row, column), and image k of a shape file.
int image_in(int row, int column) {
  return x68k_sheet_layout[static_cast<std::size_t>(row * 16 + column)].shape_offset / 648;
}
bytes image_of(const bytes& shape, int k) {
  return bytes(shape.begin() + k * 648, shape.begin() + (k + 1) * 648);
}

TEST(x68k_tables, layout_cells) {
  EXPECT_EQ(&x68k_palette, &pc98_palette);
  const int cells[][4] = {{2, 10, 44, 51}, {2, 13, 43, 50},  {4, 4, -1, 0},     {4, 13, 77, 67},
                          {16, 0, 10, 11}, {18, 2, 74, 156}, {21, 1, 126, 327}, {21, 4, 341, 89}};
  for (const auto& c : cells) {
    const x68k_layout_entry& e = x68k_sheet_layout[static_cast<std::size_t>(c[0] * 16 + c[1])];
    EXPECT_EQ(e.tile_number, c[2]) << c[0] << "," << c[1];
    EXPECT_EQ(e.shape_offset, c[3] * 648) << c[0] << "," << c[1];
  }
}

// The programs run on a synthetic disk: a random shape.pat, named in upper
// case, on a fragmented chain behind another file.
class x68k_programs : public ::testing::Test {
 protected:
  void SetUp() override { write_file(dir / "disk.xdf", disk); }

  static bytes make_shape() {
    bytes shape = pattern_bytes(x68k_shape_bytes, 11);
    shape[0] = 0x78;
    return shape;
  }

  static bytes make_disk(const bytes& contents) {
    fat12_volume volume;
    volume.add_file_contiguous("README  TXT", pattern_bytes(3000, 1), 2);
    std::vector<int> chain;
    for (int c = 700; c < 800; ++c) chain.push_back(c);
    for (int c = 5; static_cast<int>(chain.size()) < fat12_volume::clusters_for(contents.size());
         ++c) {
      chain.push_back(c);
    }
    volume.add_file("SHAPE   PAT", contents, chain);
    return volume.as_xdf();
  }

  program_result tiles(const std::vector<std::string>& args, const std::string& input = "") {
    return run_program("x68ktiles", args, dir.path, input);
  }
  program_result patch(const std::vector<std::string>& args, const std::string& input = "") {
    return run_program("x68ktilepatch", args, dir.path, input);
  }
  // Extracts sheet.bmp and mask.bmp afresh.
  void extract() {
    fs::remove(dir / "sheet.bmp");
    fs::remove(dir / "mask.bmp");
    ASSERT_EQ(tiles({"--disk", "disk.xdf", "sheet.bmp", "mask.bmp"}).status, 0);
  }
  bytes shape_in(const std::string& name) {
    disk_image image;
    bytes result(x68k_shape_bytes);
    EXPECT_EQ(load_disk_image(image, (dir / name).string(), 0), 0);
    EXPECT_EQ(read_image_file(image, "shape.pat", result, true), 0);
    return result;
  }

  temp_dir dir;
  const bytes shape = make_shape();
  const bytes disk = make_disk(shape);
};

TEST_F(x68k_programs, extracts_sheet_and_mask) {
  program_result r = tiles({"sheet.bmp", "--disk", "disk.xdf", "mask.bmp"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(fs::file_size(dir / "sheet.bmp"), 228214u);
  EXPECT_EQ(fs::file_size(dir / "mask.bmp"), 57086u);
  const bmp sheet = load_bmp(dir / "sheet.bmp");
  const bmp mask = load_bmp(dir / "mask.bmp");
  EXPECT_EQ(sheet.palette, bytes(pc98_palette.begin(), pc98_palette.end()));
  EXPECT_EQ(mask.palette, bytes(mask_palette.begin(), mask_palette.end()));
  ASSERT_EQ(sheet.canvas.size(), x68k_canvas_bytes);
  ASSERT_EQ(mask.canvas.size(), x68k_canvas_bytes);
  // Image byte 0x78: white without the mask bit, then black with it.
  EXPECT_EQ((bytes{sheet.canvas[0], sheet.canvas[1], mask.canvas[0], mask.canvas[1]}),
            (bytes{7, 8, 0, 1}));

  for (std::size_t at = 0; at < x68k_canvas_bytes; ++at) {
    const int x = static_cast<int>(at % 576);
    const int y = static_cast<int>(at / 576);
    const auto& entry = x68k_sheet_layout[static_cast<std::size_t>(y / 36 * 16 + x / 36)];
    const int byte = shape[static_cast<std::size_t>(entry.shape_offset + y % 36 * 18 + x % 36 / 2)];
    const int expected = entry.tile_number < 0 ? 0 : x % 2 == 0 ? byte >> 4 : byte & 0x0F;
    ASSERT_EQ(sheet.canvas[at], expected) << "cell " << y / 36 << "," << x / 36;
    ASSERT_EQ(mask.canvas[at], expected >> 3) << "cell " << y / 36 << "," << x / 36;
  }
}

TEST_F(x68k_programs, extractor_messages) {
  write_file(dir / "short.xdf", make_disk(bytes(x68k_shape_bytes - 1)));
  write_file(dir / "long.xdf", make_disk(bytes(x68k_shape_bytes + 1)));
  write_file(dir / "-d.xdf", disk);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string output;
  } cases[] = {
      {{}, 1, "no output bitmap filename\n"},
      {{"--disk"}, 1, "no disk image (mirath disk)\n"},
      {{"-x", "--help"}, 1, "unknown option '-x'\n"},
      {{"a.bmp", "b.bmp", "c.bmp"}, 1, "unneeded parameter 'c.bmp'\n"},
      {{"--help"},
       1,
       "usage: x68ktiles [options] OUTPUT.BMP [MASK.BMP]\n"
       "option: --disk DISK-IMG     disk image name of Mirath Disk\n"
       "                            read 'kv-mirath.xdf' if not specified\n"
       "        --help              print usage\n\n"
       "supported disk image format is *.xdf only\n"},
      {{"s.bmp"}, 1, "open error 'kv-mirath.xdf'\nread disk image error kv-mirath.xdf\n"},
      {{"s.bmp", "--disk", "short.xdf"},
       1,
       "file size error 'shape.pat' 212543 < 212544\nread disk image error short.xdf/shape.pat\n"},
      {{"s.bmp", "--disk", "long.xdf"},
       0,
       "file size mismatch 'shape.pat' 212545 != 212544 ... ignored\n"},
      {{"--disk", "-d.xdf", "s2.bmp"}, 0, ""},
  };
  for (const auto& c : cases) {
    program_result r = tiles(c.args);
    EXPECT_EQ(r.status, c.status) << c.output;
    EXPECT_EQ(r.output, c.output);
  }
  EXPECT_FALSE(fs::exists(dir / "b.bmp"));
  fs::rename(dir / "disk.xdf", dir / "kv-mirath.xdf");  // the default image
  EXPECT_EQ(tiles({"s3.bmp"}).status, 0);
  EXPECT_EQ(read_file(dir / "s3.bmp"), read_file(dir / "s2.bmp"));
}

TEST_F(x68k_programs, asks_before_replacing_bitmaps) {
  extract();
  const bytes sheet = read_file(dir / "sheet.bmp");
  const std::string ask_sheet = "already exists 'sheet.bmp'\noverwrite ? (Y or N): ";
  const std::string ask_mask = "already exists 'mask.bmp'\noverwrite ? (Y or N): ";
  const struct {
    bool sheet_exists, mask_exists;
    std::string input;
    int status;
    std::string output;
  } cases[] = {
      {true, false, "n\n", 1, ask_sheet + "write bitmap file error 'sheet.bmp'\n"},
      {true, false, "", 1, ask_sheet + "\nwrite bitmap file error 'sheet.bmp'\n"},
      {true, false, "maybe\n", 0, ask_sheet},
      {false, true, "n\n", 1, ask_mask + "write bitmap file error 'mask.bmp'\n"},
      {true, true, "Yes\n yes\n", 0, ask_sheet + ask_mask},
      {true, true, "Yes\n", 1, ask_sheet + ask_mask + "\nwrite bitmap file error 'mask.bmp'\n"},
  };
  for (const auto& c : cases) {
    fs::remove(dir / "sheet.bmp");
    fs::remove(dir / "mask.bmp");
    if (c.sheet_exists) write_file(dir / "sheet.bmp", std::string("old sheet"));
    if (c.mask_exists) write_file(dir / "mask.bmp", std::string("old mask"));
    program_result r = tiles({"--disk", "disk.xdf", "sheet.bmp", "mask.bmp"}, c.input);
    EXPECT_EQ(r.status, c.status) << c.input;
    EXPECT_EQ(r.output, c.output);
    const bool sheet_written = !c.sheet_exists || c.status == 0 || c.mask_exists;
    EXPECT_EQ(read_file(dir / "sheet.bmp") == sheet, sheet_written) << c.input;
    EXPECT_EQ(fs::exists(dir / "mask.bmp"), sheet_written) << c.input;
  }
}

TEST_F(x68k_programs, unedited_sheet_patches_back_identically) {
  for (int bits : {4, 8, 24}) {
    extract();
    if (bits != 4) {
      resave_bmp(dir / "sheet.bmp", bits);
      resave_bmp(dir / "mask.bmp", bits);
    }
    fs::remove(dir / "out.xdf");
    program_result r = patch({"sheet.bmp", "mask.bmp", "--disk", "disk.xdf", "--write", "out.xdf"});
    EXPECT_EQ(r.status, 0) << bits;
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(read_file(dir / "out.xdf"), disk) << bits;
  }
  // Without a mask every mask bit is cleared.
  EXPECT_EQ(patch({"--disk", "disk.xdf", "sheet.bmp"}).status, 0);
  bytes expected = shape;
  for (auto& b : expected) b &= 0x77;
  EXPECT_EQ(shape_in("kv-mirath.NEW.xdf"), expected);
  EXPECT_EQ(read_file(dir / "disk.xdf"), disk);
}

TEST_F(x68k_programs, edit_lands_in_its_image) {
  // Cell (2, 10) shows image 51. Its pixel (2, 1) becomes mid grey (white by
  // nearest colour) with a mid grey (set) mask pixel; the pixel to its right
  // keeps its colour and loses its mask.
  extract();
  resave_bmp(dir / "sheet.bmp", 24);
  resave_bmp(dir / "mask.bmp", 24);
  bmp sheet = load_bmp(dir / "sheet.bmp");
  bmp mask = load_bmp(dir / "mask.bmp");
  const auto at = static_cast<std::ptrdiff_t>(((2 * 36 + 1) * 576 + 10 * 36 + 2) * 3);
  std::fill_n(sheet.canvas.begin() + at, 3, 0x80);
  std::fill_n(mask.canvas.begin() + at, 3, 0x80);
  std::fill_n(mask.canvas.begin() + at + 3, 3, 0x00);
  save_bmp(dir / "sheet.bmp", 576, 792, 24, {}, sheet.canvas);
  save_bmp(dir / "mask.bmp", 576, 792, 24, {}, mask.canvas);

  EXPECT_EQ(patch({"--disk", "disk.xdf", "sheet.bmp", "mask.bmp"}).status, 0);
  bytes expected = shape;
  const std::size_t byte = 51 * 648 + 1 * 18 + 1;
  expected[byte] = static_cast<std::uint8_t>(0xF0 | (expected[byte] & 0x07));
  EXPECT_EQ(shape_in("kv-mirath.NEW.xdf"), expected);
}

TEST_F(x68k_programs, short_sheets_take_stand_in_cells) {
  const bytes shore(648, 0x88);
  for (int rows : {16, 18, 22}) {
    for (bool no_shores : {false, true}) {
      extract();
      resave_bmp(dir / "sheet.bmp", 8, rows * 36);
      resave_bmp(dir / "mask.bmp", 8, rows * 36);
      std::vector<std::string> args = {"--write",  "out.xdf",   "--disk",
                                       "disk.xdf", "sheet.bmp", "mask.bmp"};
      if (no_shores) args.push_back("--no-shores");
      fs::remove(dir / "out.xdf");
      ASSERT_EQ(patch(args).status, 0);
      const bytes out = shape_in("out.xdf");
      const std::string label = std::to_string(rows) + (no_shores ? " no shores" : "");
      // Cell (row, column) of the output holds what cell (r, c) showed.
      auto check = [&](int row, int column, int r, int c) {
        EXPECT_EQ(image_of(out, image_in(row, column)), image_of(shape, image_in(r, c)))
            << label << " cell " << row << "," << column;
      };
      check(0, 10, 0, 10);
      check(16, 0, rows > 16 ? 16 : 0, rows > 16 ? 0 : 10);
      check(18, 0, rows > 18 ? 18 : 3, rows > 18 ? 0 : 8);
      check(21, 0, rows > 21 ? 21 : 0, 0);
      check(21, 1, rows > 21 ? 21 : 7, rows > 21 ? 1 : 14);
      check(21, 2, 21, 2);  // no stand-in on a short sheet: disk bytes kept
      check(21, 4, 21, 4);
      for (int column = 1; column < 16; ++column) {
        for (int row : {17, 19, 20}) {
          if (no_shores) {
            EXPECT_EQ(image_of(out, image_in(row, column)), shore) << label;
          } else {  // rows 19 and 20 stand in for row 17 when it is on the sheet
            check(row, column, rows > row || rows < 18 ? row : 17, column);
          }
        }
      }
    }
  }
}

TEST_F(x68k_programs, patch_refuses_bad_inputs_and_writes_nothing) {
  extract();
  fs::copy_file(dir / "sheet.bmp", dir / "full.bmp");
  resave_bmp(dir / "mask.bmp", 8, 648);
  const bmp sheet = load_bmp(dir / "sheet.bmp");
  save_bmp(dir / "high575.bmp", 576, 575, 4, sheet.palette, sheet.canvas);
  save_bmp(dir / "wide577.bmp", 577, 576, 8, bytes(1024), bytes(577 * 576));
  save_bmp(dir / "sideways.bmp", 792, 576, 8, bytes(1024), bytes(792 * 576));
  write_file(dir / "junk.bmp", std::string("BM not really"));
  const struct {
    std::vector<std::string> args;
    std::string output;
  } cases[] = {
      {{}, "no shapes bitmap filename\n"},
      {{"--disk"}, "no disk image (mirath disk)\n"},
      {{"--write"}, "no disk image to write (mirath disk)\n"},
      {{"--file"}, "no shape file name\n"},
      {{"--nos-shores"}, "unknown option '--nos-shores'\n"},
      {{"a", "b", "c"}, "unneeded parameter 'c'\n"},
      {{"--help"},
       "usage: x68ktilepatch [options] SHAPES.BMP [MASK.BMP]\n"
       "option: --disk DISK-IMG     disk image name of Mirath Disk\n"
       "                            read 'kv-mirath.xdf' if not specified\n"
       "        --write DISK-IMG    disk image name of modified Mirath Disk\n"
       "        --no-shores         remove shore line shapes\n"
       "        --help              print usage\n\n"
       "remove all mask if mask bitmap is not specified\n"
       "supported disk image format is *.XDF only\n"
       "write modified disk image to filename.NEW.ext if not specified\n"},
      {{"none.bmp"}, "open error 'none.bmp'\nread bitmap file error 'none.bmp'\n"},
      {{"junk.bmp"},
       "error: read_bitmap() - can't read bitmap header\nread error 'junk.bmp'\n"
       "read bitmap file error 'junk.bmp'\n"},
      {{"high575.bmp"},
       "bitmap size error 'high575.bmp' 576 x 575\nread bitmap file error 'high575.bmp'\n"},
      {{"wide577.bmp"},
       "bitmap size error 'wide577.bmp' 577 x 576\nread bitmap file error 'wide577.bmp'\n"},
      {{"sideways.bmp"},
       "bitmap size error 'sideways.bmp' 792 x 576\nread bitmap file error 'sideways.bmp'\n"},
      {{"full.bmp", "none.bmp"}, "open error 'none.bmp'\nread mask file error 'none.bmp'\n"},
      {{"full.bmp", "mask.bmp"}, "bitmap and mask size mismatch\n"},
      {{"full.bmp"}, "open error 'kv-mirath.xdf'\nread disk image error kv-mirath.xdf\n"},
      {{"full.bmp", "--disk", "disk.xdf", "--file", "other.pat"},
       "can't find 'other.pat'\nread disk image error disk.xdf/other.pat\n"},
  };
  for (const auto& c : cases) {
    program_result r = patch(c.args);
    EXPECT_EQ(r.status, 1) << c.output;
    EXPECT_EQ(r.output, c.output);
  }
  EXPECT_FALSE(fs::exists(dir / "kv-mirath.NEW.xdf"));
  EXPECT_EQ(read_file(dir / "disk.xdf"), disk);
}

TEST_F(x68k_programs, patch_output_guard) {
  extract();
  write_file(dir / "kv-mirath.NEW.xdf", std::string("keep"));
  program_result r = patch({"--disk", "disk.xdf", "sheet.bmp", "mask.bmp"}, "n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "already exists 'kv-mirath.NEW.xdf'\noverwrite ? (Y or N): ");
  EXPECT_EQ(read_file(dir / "kv-mirath.NEW.xdf"), bytes({'k', 'e', 'e', 'p'}));

  // A folder of that name cannot be replaced, even after a yes.
  fs::create_directory(dir / "folder.xdf");
  r = patch({"--disk", "disk.xdf", "--write", "folder.xdf", "sheet.bmp", "mask.bmp"}, "y\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output,
            "already exists 'folder.xdf'\noverwrite ? (Y or N): open error 'folder.xdf'\n"
            "write disk image error disk.xdf\n");
  EXPECT_TRUE(fs::is_directory(dir / "folder.xdf"));

  // After a yes the output is replaced; --file names the shape file.
  fat12_volume volume;
  volume.add_file_contiguous("SHAPE   PAT", bytes(100), 2);
  volume.add_file_contiguous("TILES2  DAT", shape, 30);
  write_file(dir / "two.xdf", volume.as_xdf());
  r = patch({"--disk", "two.xdf", "--file", "tiles2.dat", "sheet.bmp", "mask.bmp"}, "y\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir / "kv-mirath.NEW.xdf"), volume.as_xdf());
}

}  // namespace
