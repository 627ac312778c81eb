#include "x68k/x68k.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>

#include "fat12/fat12.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace {

namespace fs = std::filesystem;
using args = std::vector<std::string>;

// The image of shape.pat shown in cell (row, column), -1 for an empty cell,
// from the sheet's table written as runs: {first cell, its image}, each
// following cell showing the next image up to the next run; -1 starts a run
// of empty cells.
int image_in(int row, int column) {
  static const std::pair<int, int> runs[] = {
      {0, 0}, {11, 12}, {12, 14}, {15, 18}, {16, 19}, {17, 21}, {18, 23}, {19, 25}, {20, 27},
      {42, 51}, {44, 49}, {46, 53}, {55, 70}, {64, 63}, {68, -1}, {72, 90}, {76, 95}, {77, 67},
      {80, 79}, {88, 96}, {129, 138}, {130, 140}, {131, 142}, {132, 205}, {140, 144}, {142, 213},
      {256, 11}, {257, 13}, {258, 17}, {259, 94}, {260, 20}, {261, 22}, {262, 24}, {263, 26},
      {264, 137}, {265, 139}, {266, 141}, {267, 143}, {268, 158}, {269, 62}, {270, -1}, {273, 159},
      {288, 147}, {290, 156}, {291, 151}, {293, 150}, {294, 149}, {295, 153}, {296, 146},
      {297, 154}, {299, 157}, {300, -1}, {305, 174}, {320, -1}, {321, 189}, {336, 204},
      {337, 327}, {338, 87}, {341, -1}};
  const int cell = row * 16 + column;
  const auto run = *(std::upper_bound(std::begin(runs), std::end(runs), std::pair(cell, INT_MAX)) - 1);
  return run.second < 0 ? -1 : run.second + cell - run.first;
}

// The tile that an extra image of rows 16-21 belongs to (-1: empty cell);
// rows 17, 19 and 20 hold the shore line, tiles 273-287, in columns 1-15.
int tile_in(int row, int column) {
  static const int tiles[3][16] = {
      {10, 11, 14, 75, 16, 17, 18, 19, 128, 129, 130, 131, 55, 56, -1, -1},
      {56, 56, 74, 77, 80, 84, 92, 132, 156, 172, 188, 240, -1, -1, -1, -1},
      {0, 126, 338, 339, 341, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}};
  if (row == 17 || row == 19 || row == 20) return column == 0 ? -1 : 272 + column;
  return tiles[row == 16 ? 0 : row == 18 ? 1 : 2][column];
}

bytes image_of(const bytes& shape, int k) { return bytes(shape.begin() + k * 648, shape.begin() + (k + 1) * 648); }

// The programs run on a synthetic disk: a random shape.pat, named in upper
// case, on a fragmented chain behind another file.
class x68k_programs : public ::testing::Test {
 protected:
  void SetUp() override { write_file(dir / "disk.xdf", disk); }
  static fat12_volume volume_of(const bytes& contents, const std::string& name = "SHAPE   PAT") {
    fat12_volume volume;
    volume.add_file_contiguous("README  TXT", pattern_bytes(3000, 1), 2);
    std::vector<int> chain;  // clusters 700-799, then 5 on
    for (int i = 0; i < fat12_volume::clusters_for(contents.size()); ++i) chain.push_back(i < 100 ? 700 + i : i - 95);
    volume.add_file(name, contents, chain);
    return volume;
  }
  auto tiles(args a, std::string in = "") { return run_program("x68ktiles", a, dir.path, in); }
  auto patch(args a, std::string in = "") { return run_program("x68ktilepatch", a, dir.path, in); }
  // Extracts s.bmp (sheet) and m.bmp (mask) afresh; with `rows`, saves
  // them again at 8 bits with only the top `rows` cell rows.
  void extract(std::uint32_t rows = 0) {
    ASSERT_EQ(tiles({"--disk", "disk.xdf", "s.bmp", "m.bmp"}, "y\ny\n").status, 0);
    if (rows == 0) return;
    for (const char* name : {"s.bmp", "m.bmp"}) resave_bitmap(dir / name, 8, rows * 36);
  }
  bytes shape_in(const std::string& name, const char* file = "shape.pat") {
    disk_image image;
    bytes result(x68k_shape_bytes);
    EXPECT_EQ(load_disk_image(image, (dir / name).string(), disk_family::x68k), 0);
    EXPECT_EQ(read_image_file(image, file, result, true), 0);
    return result;
  }
  temp_dir dir;
  const bytes shape = [] {
    bytes s = pattern_bytes(x68k_shape_bytes, 11);
    s[0] = 0x78;  // pixels white without the mask bit, then black with it
    return s;
  }();
  const bytes disk = volume_of(shape).as_xdf();
};

TEST_F(x68k_programs, extracts_sheet_and_mask) {
  ASSERT_EQ(tiles({"s.bmp", "--disk", "disk.xdf", "m.bmp"}).status, 0);
  ASSERT_EQ(fs::file_size(dir / "s.bmp"), 228214u);
  ASSERT_EQ(fs::file_size(dir / "m.bmp"), 57086u);
  const bitmap_image sheet = load_bitmap(dir / "s.bmp");
  const bitmap_image mask = load_bitmap(dir / "m.bmp");
  EXPECT_EQ(std::pair(sheet.palette, mask.palette), std::pair(digital_colours, bytes{0, 0, 0, 0, 255, 255, 255, 255}));
  // Every cell shows its image (empty ones black, no mask) pixel for pixel;
  // image byte 0x78 gives indices 7 and 8, mask 0 and 1.
  for (int cell = 0; cell < 352; ++cell) {
    const int k = image_in(cell / 16, cell % 16);
    for (int i = 0; i < 36 * 36; ++i) {
      const int x = i % 36, y = i / 36;
      const std::size_t at = std::size_t(cell / 16 * 36 + y) * 576 + std::size_t(cell % 16 * 36 + x);
      const int byte = k < 0 ? 0 : shape[std::size_t(k * 648 + y * 18 + x / 2)];
      const int pixel = x % 2 == 0 ? byte >> 4 : byte & 0x0F;
      ASSERT_EQ(sheet.canvas[at], pixel) << "cell " << cell << " at " << x << "," << y;
      ASSERT_EQ(mask.canvas[at], pixel >> 3) << "cell " << cell << " at " << x << "," << y;
    }
  }
}

TEST_F(x68k_programs, messages_and_nothing_written_on_error) {
  extract();
  resave_bitmap(dir / "m.bmp", 8, 648);
  write_file(dir / "short.xdf", volume_of(bytes(x68k_shape_bytes - 1)).as_xdf());
  write_file(dir / "long.xdf", volume_of(bytes(x68k_shape_bytes + 1)).as_xdf());
  for (const char* old : {"old.bmp", "old.xdf"}) write_file(dir / old, std::string("old"));
  bytes crossed = disk;  // a second entry claims the first cluster of shape.pat
  std::copy_n(crossed.begin() + std::ptrdiff_t(fat12_volume::slot_offset(1)), 32, crossed.begin() + std::ptrdiff_t(fat12_volume::slot_offset(2)));
  crossed[fat12_volume::slot_offset(2)] = 'X';
  write_file(dir / "crossed.xdf", crossed);
  fat12_volume sub = volume_of(shape);  // shape.pat's chain runs through a file in a folder
  sub.add_folder("SUB        ", 600, {{"INNER   DAT", {610, 611}, 2048}});
  sub.set_fat(700, 610);
  sub.set_fat(610, 701);
  write_file(dir / "sub.xdf", sub.as_xdf());
  fs::create_directory(dir / "folder");
  const std::string t = "x68ktiles", p = "x68ktilepatch";
  expect_runs(dir.path, std::vector<run_case>{
      {t, {}, 1, "no output bitmap filename\n"}, {t, {"--disk"}, 1, "no disk image (mirath disk)\n"},
      {t, {"--help"}, 1, "usage: x68ktiles [options] OUTPUT.BMP [MASK.BMP]\n"
       "option: --disk DISK-IMG     disk image name of Mirath Disk\n"
       "                            read 'kv-mirath.xdf' if not specified\n"
       "        --help              print usage\n"
       "\n"
       "supported disk image format is *.xdf only\n"},
      {t, {"x.bmp"}, 1, "open error 'kv-mirath.xdf'\nread disk image error kv-mirath.xdf\n"},
      {t, {"x.bmp", "--disk", "short.xdf"}, 1,
       "file size error 'shape.pat' 212543 < 212544\nread disk image error short.xdf/shape.pat\n"},
      {t, {"--disk", "long.xdf", "a"}, 0, "file size mismatch 'shape.pat' 212545 != 212544 ... ignored\n"},
      {t, {"--disk", "disk.xdf", "old.bmp"}, 1,
       "already exists 'old.bmp'\noverwrite ? (Y or N): write bitmap file error 'old.bmp'\n"},
      // The sheet is written before the mask's question, answered no.
      {t, {"--disk", "disk.xdf", "new.bmp", "old.bmp"}, 1,
       "already exists 'old.bmp'\noverwrite ? (Y or N): write bitmap file error 'old.bmp'\n"},
      {t, {"--disk", "disk.xdf", "./disk.xdf"}, 1, "output is input file './disk.xdf'\n"},
      {t, {"--disk", "disk.xdf", "x.bmp", "x.bmp"}, 1, "output file given twice 'x.bmp'\n"},
      {p, {}, 1, "no shapes bitmap filename\n"}, {p, {"--disk"}, 1, "no disk image (mirath disk)\n"},
      {p, {"--write"}, 1, "no disk image to write (mirath disk)\n"}, {p, {"--file"}, 1, "no shape file name\n"},
      {p, {"none.bmp"}, 1, "open error 'none.bmp'\nread bitmap file error 'none.bmp'\n"},
      {p, {"s.bmp", "none.bmp"}, 1, "open error 'none.bmp'\nread mask file error 'none.bmp'\n"},
      {p, {"s.bmp", "m.bmp"}, 1, "bitmap and mask size mismatch\n"},
      {p, {"s.bmp"}, 1, "open error 'kv-mirath.xdf'\nread disk image error kv-mirath.xdf\n"},
      {p, {"s.bmp", "--disk", "disk.xdf", "--file", "other.pat"}, 1,
       "can't find 'other.pat'\nread disk image error disk.xdf/other.pat\n"},
      {p, {"s.bmp", "--disk", "short.xdf"}, 1,
       "file size error 'shape.pat' 212543 < 212544\nread disk image error short.xdf/shape.pat\n"},
      {p, {"s.bmp", "--disk", "disk.xdf", "--write", "old.xdf"}, 1, "already exists 'old.xdf'\noverwrite ? (Y or N): "},
      {p, {"s.bmp", "--disk", "crossed.xdf"}, 1, "fat error 'shape.pat'\nwrite disk image error crossed.xdf/shape.pat\n"},
      {p, {"s.bmp", "--disk", "sub.xdf"}, 1, "fat error 'shape.pat'\nwrite disk image error sub.xdf/shape.pat\n"},
      // A folder is no input file.
      {t, {"--disk", "folder", "x.bmp"}, 1, "open error 'folder'\nread disk image error folder\n"},
      {p, {"folder"}, 1, "open error 'folder'\nread bitmap file error 'folder'\n"},
      {p, {"s.bmp", "folder"}, 1, "open error 'folder'\nread mask file error 'folder'\n"},
      {p, {"s.bmp", "--disk", "folder"}, 1, "open error 'folder'\nread disk image error folder\n"},
      {p, {"s.bmp", "--disk", "disk.xdf", "--write", "no/x.xdf"}, 1,
       "open error 'no/x.xdf'\nwrite disk image error disk.xdf\n"},
      {p, {"--write", "s.bmp", "s.bmp"}, 1, "output is input file 's.bmp'\n"},
      {p, {"s.bmp", "m.bmp", "--disk", "disk.xdf", "--write", "./m.bmp"}, 1, "output is input file './m.bmp'\n"},
  });

  EXPECT_FALSE(fs::exists(dir / "x.bmp") || fs::exists(dir / "kv-mirath.NEW.xdf"));
  EXPECT_EQ(read_file(dir / "disk.xdf"), disk);
  for (const char* old : {"old.xdf", "old.bmp"}) EXPECT_EQ(read_file(dir / old), bytes({'o', 'l', 'd'}));
  EXPECT_EQ(fs::file_size(dir / "new.bmp"), 228214u);
}

TEST_F(x68k_programs, unedited_sheet_patches_back_identically) {
  // The one output that may be an input: the image being patched, after a
  // yes. The sheet puts back the bytes changed on the disk.
  extract();
  write_file(dir / "disk.xdf", volume_of(bytes(x68k_shape_bytes, 0)).as_xdf());
  EXPECT_EQ(patch({"s.bmp", "m.bmp", "--disk", "disk.xdf", "--write", "disk.xdf"}, "y\n").output,
            "already exists 'disk.xdf'\noverwrite ? (Y or N): ");
  EXPECT_EQ(read_file(dir / "disk.xdf"), disk);
  // Without a mask every mask bit is cleared; --file names the shape file.
  write_file(dir / "other.xdf", volume_of(shape, "OTHER   PAT").as_xdf());
  EXPECT_EQ(patch({"--disk", "other.xdf", "--file", "other.pat", "s.bmp"}).status, 0);
  bytes expected = shape;
  for (auto& b : expected) b &= 0x77;
  EXPECT_EQ(shape_in("kv-mirath.NEW.xdf", "other.pat"), expected);
  EXPECT_EQ(read_file(dir / "other.xdf"), volume_of(shape, "OTHER   PAT").as_xdf());
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
  EXPECT_EQ(names_in(dir / "emu"), (std::set<std::string>{"game.xdf", "sheet.bmp"}));  // nothing left beside them
}

// Through pipes and under limits: a stream such as /dev/stdout takes the
// sheet without a question, byte for byte as a file does; a sheet on
// /dev/stdin whose header claims more pixels than a sheet has gets no
// canvas of that size: under a limit of 24 MB of address space it fails
// with the messages a file gives; a save that fails part-way (a file size
// limit) leaves the old file and no new one beside it.
TEST_F(x68k_programs, runs_through_pipes_and_under_limits) {
  extract();
  write_file(dir / "old.xdf", std::string("old"));
  // An 8-bit BMP header and palette (1078 bytes) claiming `width` x `height`
  // pixels, and `data` bytes of pixel data.
  const auto sheet = [](std::uint32_t width, std::uint32_t height, std::size_t data) {
    bytes file = bitmap_file_bytes(1, 1, 8, {}, bytes(1));
    const std::uint32_t length = (width + 3) / 4 * 4 * height;
    for (const auto& [at, value] : {std::pair(std::size_t{2}, 1078 + length), {18, width}, {22, height}, {34, length}}) {
      write_le32(&file[at], value);
    }
    file.resize(1078 + data);
    return std::string(file.begin(), file.end());
  };
  const bytes extracted = read_file(dir / "s.bmp");
  const std::string unread = "error: read_bitmap() - can't read bitmap data\nread error '/dev/stdin'\n";
  const run_options out{.output_through_pipe = true}, in{.input_through_pipe = true, .memory_limit = 24 << 20};
  const struct {
    run_options options; std::string program; args arguments; std::string input; int status; std::string output;
  } cases[] = {
      {out, "x68ktiles", {"--disk", "disk.xdf", "/dev/stdout"}, "", 0, std::string(extracted.begin(), extracted.end())},
      {{.file_limit = 100 * 1024}, "x68ktilepatch", {"s.bmp", "--disk", "disk.xdf", "--write", "old.xdf"}, "y\n", 1,
       "already exists 'old.xdf'\noverwrite ? (Y or N): write error 'old.xdf'\nwrite disk image error disk.xdf\n"},
      {in, "x68ktilepatch", {"/dev/stdin"}, sheet(32768, 32768, 0), 1, unread + "read bitmap file error '/dev/stdin'\n"},
      {in, "pc98tilepatch", {"/dev/stdin"}, sheet(65536, 65535, 1000), 1, unread + "read shapes file error '/dev/stdin'\n"},
      {in, "x68ktilepatch", {"/dev/stdin"}, sheet(577, 60000, 580 * 60000), 1,
       "bitmap size error '/dev/stdin' 577 x 60000\nread bitmap file error '/dev/stdin'\n"},
  };
  std::string skipped;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program + " " + c.output.substr(0, 40));
    const auto r = run_program_with(c.options, c.program, c.arguments, dir.path, c.input);
    if (!r) skipped = "no pipes or limits for these programs";
    else EXPECT_EQ(*r, (program_result{c.status, c.output}));
  }
  EXPECT_EQ(read_file(dir / "old.xdf"), bytes({'o', 'l', 'd'}));
  EXPECT_EQ(names_in(dir.path), (std::set<std::string>{"disk.xdf", "s.bmp", "m.bmp", "old.xdf"}));
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// A block device is a disk: an output that names the disk being read, by
// its own name, a link or another device node of it, is refused; any other
// one asks before it is replaced.
TEST_F(x68k_programs, block_device_input_is_never_an_output) {
  if (programs_run_through_runner()) GTEST_SKIP() << "Windows programs see no block devices";
  write_file(dir / "backing.xdf", disk);
  const loop_device loop(dir / "backing.xdf");
  if (loop.path.empty()) GTEST_SKIP() << loop.why_not;
  struct stat device {};
  ASSERT_EQ(::stat(loop.path.c_str(), &device), 0);
  ASSERT_EQ(::mknod((dir / "node.xdf").c_str(), S_IFBLK | 0600, device.st_rdev), 0);
  fs::create_symlink(loop.path, dir / "link.xdf");
  extract();
  const std::string t = "x68ktiles", p = "x68ktilepatch", question = "overwrite ? (Y or N): ";
  expect_runs(dir.path, std::vector<run_case>{
      {t, {"--disk", loop.path, loop.path}, 1, "output is input file '" + loop.path + "'\n"},
      {t, {"--disk", loop.path, "link.xdf"}, 1, "output is input file 'link.xdf'\n"},
      {t, {"--disk", "link.xdf", "node.xdf"}, 1, "output is input file 'node.xdf'\n"},
      {p, {"s.bmp", "--disk", "disk.xdf", "--write", "node.xdf"}, 1, "already exists 'node.xdf'\n" + question},
      {p, {"s.bmp", "--disk", "link.xdf", "--write", loop.path}, 1, "already exists '" + loop.path + "'\n" + question},
  });
  EXPECT_EQ(read_file(dir / "backing.xdf"), disk);
}

// Short sheets (16 and 18 rows) and --no-shores: a cell below the sheet
// takes the picture of its tile's cell when that is on the sheet, else it
// keeps its disk bytes; the cleared shore line (colour 0, mask set) stands
// in for rows 17, 19 and 20.
TEST_F(x68k_programs, short_sheets_take_stand_in_cells) {
  for (int rows : {16, 18, 22}) {
    for (bool no_shores : {false, true}) {
      extract(static_cast<std::uint32_t>(rows));
      const std::string out = std::to_string(rows) + (no_shores ? "n.xdf" : ".xdf");
      args arguments = {"--write", out, "--disk", "disk.xdf", "s.bmp", "m.bmp"};
      if (no_shores) arguments.push_back("--no-shores");
      ASSERT_EQ(patch(arguments).status, 0);
      const bytes patched = shape_in(out);
      for (int cell = 16 * 16; cell < 352; ++cell) {
        const int row = cell / 16, column = cell % 16, tile = tile_in(row, column);
        if (tile < 0) continue;
        int source = row < rows ? cell : tile / 16 < rows ? tile : cell;
        if (no_shores && (source / 16 == 17 || source / 16 == 19 || source / 16 == 20)) source = -1;
        const bytes expected = source < 0 ? bytes(648, 0x88) : image_of(shape, image_in(source / 16, source % 16));
        EXPECT_EQ(image_of(patched, image_in(row, column)), expected) << out << " cell " << cell;
      }
    }
  }
}

}  // namespace
