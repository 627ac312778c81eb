// pc98tiles and pc98tilepatch run end to end on synthetic FDI images.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "pc98/pc98.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

namespace fs = std::filesystem;

// An FDI image holding `contents` as the one file `dos_name`, on
// consecutive clusters from cluster 2.
bytes make_fdi(const std::string& dos_name, const bytes& contents) {
  fat12_volume volume;
  volume.add_file_contiguous(dos_name, contents, 2);
  return volume.as_fdi();
}

// The shape file of disk 0 or 1 as stored in an image made by make_fdi
// (zeros when there is no such image).
bytes read_shape_file(const fs::path& image_path, std::size_t disk) {
  const std::size_t first = fat12_volume::fdi_header_bytes + fat12_volume::cluster_offset(2);
  bytes image = read_file(image_path);
  image.resize(first + static_cast<std::size_t>(pc98_disks[disk].shape_size));
  return bytes(image.begin() + static_cast<std::ptrdiff_t>(first), image.end());
}

// The tile record of a sheet cell within the two shape files.
bytes record_of(const std::array<bytes, 2>& files, int cell) {
  const pc98_shape& s = pc98_shape_table[static_cast<std::size_t>(cell)];
  const auto first = files[static_cast<std::size_t>(s.disk - 1)].begin() + s.offset;
  return bytes(first, first + s.planes * 128);
}

class pc98_programs : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "KV_Mirath.fdi", make_fdi("OCSHAPE PAT", shapes[0]));
    write_file(dir / "KV_Thalwynd.fdi", make_fdi("SWSHAPE PAT", shapes[1]));
  }

  // Runs pc98tilepatch on sheet.bmp and `args`, replacing the new images of
  // an earlier run, and returns the shape files it wrote.
  std::array<bytes, 2> patch(std::vector<std::string> args) {
    for (const char* name : {"KV_Mirath.NEW.fdi", "KV_Thalwynd.NEW.fdi"}) fs::remove(dir / name);
    args.insert(args.begin(), "sheet.bmp");
    const program_result result = run_program("pc98tilepatch", args, dir.path);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "write 'KV_Mirath.NEW.fdi'\nwrite 'KV_Thalwynd.NEW.fdi'\n");
    return {read_shape_file(dir / "KV_Mirath.NEW.fdi", 0),
            read_shape_file(dir / "KV_Thalwynd.NEW.fdi", 1)};
  }

  temp_dir dir;
  std::array<bytes, 2> shapes = {pattern_bytes(108160, 1), pattern_bytes(62464, 2)};
};

}  // namespace

TEST_F(pc98_programs, pc98tiles_draws_sheet_and_mask_from_the_records) {
  const program_result result = run_program("pc98tiles", {"sheet.bmp", "mask.bmp"}, dir.path);
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(fs::file_size(dir / "sheet.bmp"), 54u + 64u + 256u * 736u);
  EXPECT_EQ(fs::file_size(dir / "mask.bmp"), 54u + 8u + 64u * 736u);
  const bitmap_image sheet = load_bitmap(dir / "sheet.bmp");
  const bitmap_image mask = load_bitmap(dir / "mask.bmp");
  EXPECT_EQ(sheet.palette, bytes(pc98_palette.begin(), pc98_palette.end()));
  // Plane p of a 3-plane record is colour bit p, of a 4-plane record the
  // mask (8) and then bits 0-2; empty cells stay 0.
  for (int y = 0; y < 736; ++y) {
    for (int x = 0; x < 512; ++x) {
      const pc98_shape& s = pc98_shape_table[static_cast<std::size_t>(y / 32 * 16 + x / 32)];
      int want = 0;
      for (int p = 0; p < s.planes; ++p) {
        const int byte = shapes[s.disk - 1][s.offset + p * 128 + y % 32 * 4 + x % 32 / 8];
        if (byte & (0x80 >> x % 8)) want |= s.planes == 3 ? 1 << p : p == 0 ? 8 : 1 << (p - 1);
      }
      ASSERT_EQ(sheet.canvas[y * 512 + x], want) << x << "," << y;
      ASSERT_EQ(mask.canvas[y * 512 + x], want >> 3) << x << "," << y;
    }
  }
}

TEST_F(pc98_programs, messages_and_exit_statuses) {
  write_file(dir / "noshape.fdi", make_fdi("OTHER   PAT", shapes[0]));
  write_file(dir / "old.bmp", std::string("old"));
  const std::tuple<const char*, std::uint32_t, std::uint32_t, std::uint16_t> blanks[] = {
      {"sheet.bmp", 512, 736, 4}, {"low.bmp", 512, 511, 4},   {"wide.bmp", 513, 736, 4},
      {"high.bmp", 512, 737, 1},  {"short.bmp", 512, 544, 1}};
  for (const auto& [name, w, h, b] : blanks) save_bitmap(dir / name, w, h, b, {}, bytes(w * h));
  // Every run answers "n" to an overwrite question.
  const std::tuple<const char*, std::vector<std::string>, std::string> cases[] = {
      {"pc98tiles", {}, "no output bitmap filename\n"},
      {"pc98tiles", {"a.bmp", "--disk1"}, "no disk image (mirath disk)\n"},
      {"pc98tiles", {"a.bmp", "--disk2"}, "no disk image (thalwynde disk)\n"},
      {"pc98tiles", {"a.bmp", "--disk1", "-x.fdi"}, "open error '-x.fdi'\nread disk image error -x.fdi\n"},
      // Disk 2 (missing) is never opened after disk 1 failed.
      {"pc98tiles", {"a", "--disk1", "noshape.fdi", "--disk2", "none"},
       "can't find 'ocshape.pat'\nread disk image error noshape.fdi/ocshape.pat\n"},
      {"pc98tiles", {"a.bmp", "--disk2", "noshape.fdi"},
       "can't find 'swshape.pat'\nread disk image error noshape.fdi/swshape.pat\n"},
      {"pc98tiles", {"old.bmp"},
       "already exists 'old.bmp'\noverwrite ? (Y or N): write bitmap file error 'old.bmp'\n"},
      {"pc98tilepatch", {}, "no shapes bitmap filename\n"},
      {"pc98tilepatch", {"a.bmp", "--disk1"}, "no disk image (mirath disk)\n"},
      {"pc98tilepatch", {"a.bmp", "--disk2"}, "no disk image (thalwynde disk)\n"},
      {"pc98tilepatch", {"a.bmp", "--write1"}, "no disk image to write (mirath disk)\n"},
      {"pc98tilepatch", {"a.bmp", "--write2"}, "no disk image to write (thalwynde disk)\n"},
      {"pc98tilepatch", {"none.bmp"}, "open error 'none.bmp'\nread shapes file error 'none.bmp'\n"},
      {"pc98tilepatch", {"low.bmp"},
       "bitmap size error 'low.bmp' 512 x 511\nread shapes file error 'low.bmp'\n"},
      {"pc98tilepatch", {"wide.bmp"},
       "bitmap size error 'wide.bmp' 513 x 736\nread shapes file error 'wide.bmp'\n"},
      {"pc98tilepatch", {"sheet.bmp", "high.bmp"},
       "bitmap size error 'high.bmp' 512 x 737\nread mask file error 'high.bmp'\n"},
      {"pc98tilepatch", {"sheet.bmp", "short.bmp"}, "shapes and mask size mismatch\n"},
      {"pc98tilepatch", {"sheet.bmp", "--disk2", "none.fdi"},
       "open error 'none.fdi'\nread disk image error none.fdi\n"},
      {"pc98tilepatch", {"sheet.bmp", "--disk1", "noshape.fdi"},
       "can't find 'ocshape.pat'\nread disk image error noshape.fdi/ocshape.pat\n"},
      // No output may be an input or another output; nothing is read first.
      {"pc98tiles", {"--disk2", "old.bmp", "old.bmp"}, "output is input file 'old.bmp'\n"},
      {"pc98tilepatch", {"sheet.bmp", "--disk1", "KV_Thalwynd.fdi"},
       "output file given twice 'KV_Thalwynd.NEW.fdi'\n"},
      {"pc98tilepatch", {"sheet.bmp", "--write1", "y.fdi", "--write2", "y.fdi"},
       "output file given twice 'y.fdi'\n"},
      {"pc98tilepatch", {"sheet.bmp", "--write1", "KV_Thalwynd.fdi"},
       "output is input file 'KV_Thalwynd.fdi'\n"},
      {"pc98tilepatch", {"sheet.bmp", "--write1", "no/x.fdi"},
       "open error 'no/x.fdi'\nwrite disk image error no/x.fdi\n"},
      // Disk 1 is saved before disk 2's output is asked about.
      {"pc98tilepatch", {"sheet.bmp", "--write1", "x.fdi", "--write2", "old.bmp"},
       "write 'x.fdi'\nalready exists 'old.bmp'\noverwrite ? (Y or N): "},
  };
  for (const auto& [program, args, output] : cases) {
    const program_result result = run_program(program, args, dir.path, "n\n");
    EXPECT_EQ(result.status, 1) << output;
    EXPECT_EQ(result.output, output);
    EXPECT_FALSE(fs::exists(dir / "a.bmp") || fs::exists(dir / "a") || fs::exists(dir / "y.fdi") ||
                 fs::exists(dir / "KV_Mirath.NEW.fdi") || fs::exists(dir / "KV_Thalwynd.NEW.fdi"))
        << output;
  }
  EXPECT_EQ(read_file(dir / "old.bmp"), bytes({'o', 'l', 'd'}));
  EXPECT_EQ(read_shape_file(dir / "KV_Thalwynd.fdi", 1), shapes[1]);
  EXPECT_EQ(fs::file_size(dir / "x.fdi"), fs::file_size(dir / "KV_Mirath.fdi"));
}

TEST_F(pc98_programs, pc98tilepatch_gives_back_the_images_from_an_unedited_sheet) {
  ASSERT_EQ(run_program("pc98tiles", {"sheet.bmp", "mask.bmp"}, dir.path).status, 0);
  const bytes images[2] = {read_file(dir / "KV_Mirath.fdi"), read_file(dir / "KV_Thalwynd.fdi")};
  for (std::uint16_t bits : {4, 8, 24}) {
    if (bits != 4) {  // saved again as a paint program might
      resave_bitmap(dir / "sheet.bmp", bits, 736);
      resave_bitmap(dir / "mask.bmp", bits, 736);
    }
    patch({"mask.bmp"});
    EXPECT_EQ(read_file(dir / "KV_Mirath.NEW.fdi"), images[0]) << bits;
    EXPECT_EQ(read_file(dir / "KV_Thalwynd.NEW.fdi"), images[1]) << bits;
  }
  EXPECT_EQ(read_file(dir / "KV_Mirath.fdi"), images[0]);
  EXPECT_EQ(read_file(dir / "KV_Thalwynd.fdi"), images[1]);
}

TEST_F(pc98_programs, pc98tilepatch_puts_an_edit_into_its_records_only) {
  ASSERT_EQ(run_program("pc98tiles", {"sheet.bmp", "mask.bmp"}, dir.path).status, 0);
  bitmap_image sheet = load_bitmap(dir / "sheet.bmp");
  bitmap_image mask = load_bitmap(dir / "mask.bmp");
  // Cell 0 (3 planes, disk 1): all black, masked in vain; cell 147 (row 9,
  // column 3; 4 planes, disk 2): blue and green, the top half masked.
  for (std::size_t y = 0; y < 32; ++y) {
    for (std::size_t x = 0; x < 32; ++x) {
      sheet.canvas[y * 512 + x] = 0;
      mask.canvas[y * 512 + x] = 1;
      sheet.canvas[(288 + y) * 512 + 96 + x] = 5;
      mask.canvas[(288 + y) * 512 + 96 + x] = y < 16;
    }
  }
  save_bitmap(dir / "sheet.bmp", 512, 736, 4, sheet.palette, sheet.canvas);
  save_bitmap(dir / "mask.bmp", 512, 736, 1, mask.palette, mask.canvas);
  std::array<bytes, 2> want = shapes;
  std::fill_n(want[0].begin() + 0x200, 384, 0);
  std::fill_n(want[1].begin() + 0x1A00, 512, 0xFF);  // planes mask, blue, red, green
  std::fill_n(want[1].begin() + 0x1A40, 64, 0);
  std::fill_n(want[1].begin() + 0x1B00, 128, 0);
  EXPECT_EQ(patch({"mask.bmp"}), want);
}

TEST_F(pc98_programs, pc98tilepatch_fills_missing_rows_from_stand_in_cells) {
  const auto record = [this](int cell) { return record_of(shapes, cell); };
  const auto unmasked = [&record](int cell) {  // 4 planes: no mask, the colours of `cell`
    const bytes colours = record(cell);
    bytes planes(128, 0);
    planes.insert(planes.end(), colours.end() - 384, colours.end());
    return planes;
  };
  bytes shore(512, 0);  // the shore line after --no-shores: only mask
  std::fill_n(shore.begin(), 128, 0xFF);
  // Rows 21 and 22 have no stand-in: missing from a sheet, they keep their
  // disk bytes.
  const auto with_rows_21_22 = [&record](std::vector<std::pair<int, bytes>> want) {
    for (int cell = 21 * 16; cell < 22 * 16 + 12; ++cell) want.emplace_back(cell, record(cell));
    return want;
  };
  const struct {
    std::uint32_t height;
    std::vector<std::string> args;
    std::vector<std::pair<int, bytes>> want;
  } runs[] = {
      // 16 rows: later rows come from their stand-ins, and the missing shore
      // line keeps its bytes from the disk.
      {512, {"mask.bmp"},
       with_rows_21_22({{256, record(10)}, {288, record(56)}, {273, record(273)}})},
      {512, {"mask.bmp", "--no-shores"},
       with_rows_21_22({{256, record(10)}, {273, shore}, {305, shore}})},
      // A partial cell row counts for nothing: 18 rows, shore line frames
      // from row 17.
      {596, {"mask.bmp"}, {{256, record(256)}, {288, record(56)}, {305, record(273)}}},
      // Without a mask BMP every mask plane is cleared, save the shore line's.
      {736, {"--no-shores"}, {{16, unmasked(16)}, {305, shore}, {321, shore}}},
  };
  for (const auto& [height, args, want] : runs) {
    ASSERT_EQ(run_program("pc98tiles", {"sheet.bmp", "mask.bmp"}, dir.path, "y\ny\n").status, 0);
    resave_bitmap(dir / "sheet.bmp", 24, height);
    resave_bitmap(dir / "mask.bmp", 8, height);
    const std::array<bytes, 2> written = patch(args);
    for (const auto& [c, rec] : want) EXPECT_EQ(record_of(written, c), rec) << height << "/" << c;
  }
}
