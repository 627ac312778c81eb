// pc98tiles and pc98tilepatch run end to end on synthetic FDI images.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <tuple>

#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

namespace fs = std::filesystem;

// The record at `offset` of a shape file: `planes` planes of 128 bytes.
bytes record_at(const bytes& file, int offset, int planes) {
  return bytes(file.begin() + offset, file.begin() + offset + planes * 128);
}

// The two disks hold ocshape.pat and swshape.pat on consecutive clusters
// from cluster 2.
class pc98_programs : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "KV_Mirath.fdi", fat12_volume::with_file("OCSHAPE PAT", shapes[0]).as_fdi());
    write_file(dir / "KV_Thalwynd.fdi", fat12_volume::with_file("SWSHAPE PAT", shapes[1]).as_fdi());
  }
  // The shape file of disk 0 or 1 as stored in the FDI `name`.
  bytes shape_in(const std::string& name, std::size_t disk) {
    const bytes image = read_file(dir / name);
    const auto first = std::ptrdiff_t(fat12_volume::fdi_header_bytes + fat12_volume::cluster_offset(2));
    if (image.size() < std::size_t(first) + shapes[disk].size()) return {};
    return bytes(image.begin() + first, image.begin() + first + std::ptrdiff_t(shapes[disk].size()));
  }
  temp_dir dir;
  std::array<bytes, 2> shapes = {pattern_bytes(108160, 1), pattern_bytes(62464, 2)};
};

}  // namespace

TEST_F(pc98_programs, pc98tiles_draws_sheet_and_mask_from_the_records) {
  ASSERT_EQ(run_program("pc98tiles", {"sheet.bmp", "mask.bmp"}, dir.path), (program_result{0, ""}));
  EXPECT_EQ(std::pair(fs::file_size(dir / "sheet.bmp"), fs::file_size(dir / "mask.bmp")),
            (std::pair<std::uintmax_t, std::uintmax_t>(54 + 64 + 256 * 736, 54 + 8 + 64 * 736)));
  const bitmap_image sheet = load_bitmap(dir / "sheet.bmp");
  const bitmap_image mask = load_bitmap(dir / "mask.bmp");
  EXPECT_EQ(std::pair(sheet.palette, mask.palette), std::pair(digital_colours, bytes{0, 0, 0, 0, 255, 255, 255, 255}));
  // Cell (row, column) from the record at `offset` of disk `disk`: 3 planes
  // are colour bits 1, 2, 4; 4 planes the mask (8), then 1, 2, 4.
  const auto shows = [&](int row, int column, int disk, int offset, int planes) {
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        int want = 0;
        for (int p = 0; p < planes; ++p) {
          const int byte = disk == 0 ? 0 : shapes[static_cast<std::size_t>(disk - 1)][static_cast<std::size_t>(offset + p * 128 + y * 4 + x / 8)];
          if (byte & (0x80 >> x % 8)) want |= planes == 3 ? 1 << p : p == 0 ? 8 : 1 << (p - 1);
        }
        const auto at = static_cast<std::size_t>((row * 32 + y) * 512 + column * 32 + x);
        ASSERT_EQ(sheet.canvas[at], want) << row << "," << column << " at " << x << "," << y;
        ASSERT_EQ(mask.canvas[at], want >> 3) << row << "," << column << " at " << x << "," << y;
      }
    }
  };
  // clang-format off
  for (const auto& [row, column, disk, offset, planes] : {std::array{0, 0, 1, 0x200, 3}, {9, 3, 2, 0x1A00, 4},
       {16, 12, 1, 0x11A80, 4}, {21, 0, 1, 0x9F00, 3}, {22, 15, 0, 0, 4} /* empty */}) {
    shows(row, column, disk, offset, planes);
  }
  // clang-format on
}

TEST_F(pc98_programs, messages_and_exit_statuses) {
  write_file(dir / "noshape.fdi", fat12_volume::with_file("OTHER   PAT", shapes[0]).as_fdi());
  fat12_volume sub = fat12_volume::with_file("SWSHAPE PAT", shapes[1]);  // its chain runs into a folder's file
  sub.add_folder("SUB        ", 600, {{"INNER   DAT", {610, 611}, 2048}});
  sub.set_fat(10, 610);
  sub.set_fat(610, 11);
  write_file(dir / "sub.fdi", sub.as_fdi());
  write_file(dir / "old.bmp", std::string("old"));
  const std::tuple<const char*, std::uint32_t, std::uint32_t, std::uint16_t> blanks[] = {
      {"sheet.bmp", 512, 736, 4}, {"low.bmp", 512, 511, 4},   {"wide.bmp", 513, 736, 4},
      {"high.bmp", 512, 737, 1},  {"short.bmp", 512, 544, 1}};
  for (const auto& [name, w, h, b] : blanks) write_file(dir / name, bitmap_file_bytes(w, h, b, {}, bytes(w * h)));
  bytes v4 = read_file(dir / "sheet.bmp");  // a V4 info header
  write_le32(&v4[14], 108);
  write_file(dir / "v4.bmp", v4);
  // Every run answers "n" to an overwrite question.
  const std::string t = "pc98tiles", p = "pc98tilepatch";
  const std::string unread = "read disk image error ", no_shape = "can't find 'ocshape.pat'\n";
  expect_runs(dir.path, std::vector<run_case>{
      {t, {}, 1, "no output bitmap filename\n"}, {t, {"a.bmp", "--disk1"}, 1, "no disk image (mirath disk)\n"},
      {t, {"a.bmp", "--disk2"}, 1, "no disk image (thalwynde disk)\n"},
      {t, {"a.bmp", "--disk1", "-x.fdi"}, 1, "open error '-x.fdi'\n" + unread + "-x.fdi\n"},
      // Disk 2 (missing) is never opened after disk 1 failed.
      {t, {"a", "--disk1", "noshape.fdi", "--disk2", "none"}, 1, no_shape + unread + "noshape.fdi/ocshape.pat\n"},
      {t, {"a.bmp", "--disk2", "noshape.fdi"}, 1, "can't find 'swshape.pat'\n" + unread + "noshape.fdi/swshape.pat\n"},
      {t, {"old.bmp"}, 1, "already exists 'old.bmp'\noverwrite ? (Y or N): write bitmap file error 'old.bmp'\n"},
      {p, {}, 1, "no shapes bitmap filename\n"}, {p, {"a.bmp", "--disk1"}, 1, "no disk image (mirath disk)\n"},
      {p, {"a.bmp", "--disk2"}, 1, "no disk image (thalwynde disk)\n"},
      {p, {"a.bmp", "--write1"}, 1, "no disk image to write (mirath disk)\n"},
      {p, {"a.bmp", "--write2"}, 1, "no disk image to write (thalwynde disk)\n"},
      {p, {"none.bmp"}, 1, "open error 'none.bmp'\nread shapes file error 'none.bmp'\n"},
      {p, {"v4.bmp"}, 1, "error: check_bitmap_header() - not supported header type - support only Windows V3\n"
                         "error: read_bitmap() - can't read bitmap header\nread error 'v4.bmp'\nread shapes file error 'v4.bmp'\n"},
      {p, {"low.bmp"}, 1, "bitmap size error 'low.bmp' 512 x 511\nread shapes file error 'low.bmp'\n"},
      {p, {"wide.bmp"}, 1, "bitmap size error 'wide.bmp' 513 x 736\nread shapes file error 'wide.bmp'\n"},
      {p, {"sheet.bmp", "high.bmp"}, 1, "bitmap size error 'high.bmp' 512 x 737\nread mask file error 'high.bmp'\n"},
      {p, {"sheet.bmp", "short.bmp"}, 1, "shapes and mask size mismatch\n"},
      {p, {"sheet.bmp", "--disk2", "none.fdi"}, 1, "open error 'none.fdi'\n" + unread + "none.fdi\n"},
      {p, {"sheet.bmp", "--disk1", "noshape.fdi"}, 1, no_shape + unread + "noshape.fdi/ocshape.pat\n"},
      // A damaged chain on disk 2 saves neither image.
      {p, {"sheet.bmp", "--disk2", "sub.fdi"}, 1, "fat error 'swshape.pat'\nwrite disk image error sub.NEW.fdi/swshape.pat\n"},
      // No output may be an input or another output; nothing is read first.
      {t, {"--disk2", "old.bmp", "old.bmp"}, 1, "output is input file 'old.bmp'\n"},
      {p, {"sheet.bmp", "--disk1", "KV_Thalwynd.fdi"}, 1, "output file given twice 'KV_Thalwynd.NEW.fdi'\n"},
      {p, {"sheet.bmp", "--write1", "y.fdi", "--write2", "y.fdi"}, 1, "output file given twice 'y.fdi'\n"},
      {p, {"sheet.bmp", "--write1", "KV_Thalwynd.fdi"}, 1, "output is input file 'KV_Thalwynd.fdi'\n"},
      {p, {"sheet.bmp", "--write1", "no/x.fdi"}, 1, "open error 'no/x.fdi'\nwrite disk image error no/x.fdi\n"},
      // Disk 1 is saved before disk 2's output is asked about.
      {p, {"sheet.bmp", "--write1", "x.fdi", "--write2", "old.bmp"}, 1,
       "write 'x.fdi'\nalready exists 'old.bmp'\noverwrite ? (Y or N): "},
  });
  for (const char* name : {"a.bmp", "a", "y.fdi", "KV_Mirath.NEW.fdi", "KV_Thalwynd.NEW.fdi", "sub.NEW.fdi"}) {
    EXPECT_FALSE(fs::exists(dir / name)) << name;
  }
  EXPECT_EQ(std::pair(read_file(dir / "old.bmp"), shape_in("KV_Thalwynd.fdi", 1)), std::pair(bytes{'o', 'l', 'd'}, shapes[1]));
  EXPECT_EQ(fs::file_size(dir / "x.fdi"), fs::file_size(dir / "KV_Mirath.fdi"));
}

// Cell rows missing from a short sheet come from their stand-in cells.
// Each run extracts the sheet, saves it again at 24 bits (the mask at 8)
// with `height` rows, and patches.
TEST_F(pc98_programs, pc98tilepatch_fills_missing_rows_from_stand_ins) {
  // Disk 1 holds cell 1 (3 planes) at 0x380, 10 (3) at 0x1100, 56 (4) at
  // 0x8200, 16 (4) at 0x1E80, 273 (4) at 0x11C80, 305 at 0x13A80, 321 at
  // 0x15880, 256 (3) at 0x1280, 288 (4) at 0x10480; rows 21 and 22 fill
  // 0x9F00-0xA4FF and 0x17680-0x1A67F.
  const auto record = [this](int offset, int planes) { return record_at(shapes[0], offset, planes); };
  bytes shore(512, 0);  // the shore line after --no-shores: only mask
  std::fill_n(shore.begin(), 128, 0xFF);
  bytes unmasked = record(0x1E80, 4);  // cell 16 without its mask plane
  std::fill_n(unmasked.begin(), 128, 0);
  const struct {
    std::uint32_t height; std::vector<std::string> args;
    std::vector<std::tuple<int, int, bytes>> want;  // offset, planes, record on disk 1
  } runs[] = {
      // 16 rows: later rows come from their stand-ins, the missing shore
      // line and rows 21-22 (no stand-in) keep their bytes from the disk.
      {512, {"sheet.bmp", "mask.bmp"},
       {{0x1280, 3, record(0x1100, 3)}, {0x10480, 4, record(0x8200, 4)}, {0x11C80, 4, record(0x11C80, 4)},
        {0x9F00, 12, record(0x9F00, 12)}, {0x17680, 96, record(0x17680, 96)}}},
      {512, {"sheet.bmp", "mask.bmp", "--no-shores"},
       {{0x1280, 3, record(0x1100, 3)}, {0x11C80, 4, shore}, {0x13A80, 4, shore}}},
      // A partial cell row counts for nothing: 18 rows, shore line frames
      // from row 17.
      {596, {"sheet.bmp", "mask.bmp"},
       {{0x1280, 3, record(0x1280, 3)}, {0x10480, 4, record(0x8200, 4)}, {0x13A80, 4, record(0x11C80, 4)}}},
      // Without a mask BMP every mask plane is cleared, save the shore line's.
      {736, {"sheet.bmp", "--no-shores"},
       {{0x1E80, 4, unmasked}, {0x380, 3, record(0x380, 3)}, {0x13A80, 4, shore}, {0x15880, 4, shore}}},
  };
  for (const auto& [height, args, want] : runs) {
    ASSERT_EQ(run_program("pc98tiles", {"sheet.bmp", "mask.bmp"}, dir.path, "y\ny\n").status, 0);
    resave_bitmap(dir / "sheet.bmp", 24, height);
    resave_bitmap(dir / "mask.bmp", 8, height);
    for (const char* name : {"KV_Mirath.NEW.fdi", "KV_Thalwynd.NEW.fdi"}) fs::remove(dir / name);
    EXPECT_EQ(run_program("pc98tilepatch", args, dir.path),
              (program_result{0, "write 'KV_Mirath.NEW.fdi'\nwrite 'KV_Thalwynd.NEW.fdi'\n"}));
    for (const auto& [offset, planes, expected] : want) {
      EXPECT_EQ(record_at(shape_in("KV_Mirath.NEW.fdi", 0), offset, planes), expected) << height << " " << offset;
    }
  }
}
