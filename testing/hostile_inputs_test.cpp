// Every program against broken and hostile input files: a clear last line,
// the right exit status, no output file where none is due, and the input
// files left exactly as they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "testing/dos33_builder.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

namespace fs = std::filesystem;

// A valid BMP of the given size, then changed at `offset` to `value`
// (4 bytes little-endian) unless offset is 0.
bytes broken_bitmap(std::uint32_t width, std::uint32_t height, std::uint16_t bits,
                    std::size_t offset = 0, std::uint32_t value = 0) {
  temp_dir dir;
  save_bitmap(dir / "b.bmp", width, height, bits, {},
              bytes(std::size_t{width} * height * static_cast<std::size_t>(bitmap_pixel_bytes(bits))));
  bytes data = read_file(dir / "b.bmp");
  if (offset != 0) write_le32(&data[offset], value);
  return data;
}

// The first `count` bytes.
bytes head(bytes data, std::size_t count) {
  data.resize(count);
  return data;
}

bytes x68k_image(bool loop, bool beyond, bool huge_size) {
  fat12_volume volume;
  const bytes shapes = pattern_bytes(212544, 5);
  const int slot = volume.add_file_contiguous("SHAPE   PAT", shapes, 2);
  if (loop) volume.set_fat(100, 50);  // the chain runs back into itself
  if (beyond) volume.set_fat(100, 4000);
  if (huge_size) write_le32(&volume.data[fat12_volume::slot_offset(slot) + 28], 0xFFFFFFFF);
  return volume.as_xdf();
}

bytes apple_image(bool loop_catalog, bool loop_ts_list) {
  dos33_image disk;
  const dos33_file first = disk.add_file(
      "S\x01HP0", 0x04, dos33_image::with_length_header(0x04, pattern_bytes(4096, 6)));
  disk.add_file("S\x01HP1", 0x04, dos33_image::with_length_header(0x04, pattern_bytes(4096, 7)));
  if (loop_catalog) disk.link_catalog(14, 17, 15);
  if (loop_ts_list) disk.link_ts_list(first.ts_lists[0], first.ts_lists[0].track, first.ts_lists[0].sector);
  return disk.as_dos_order();
}

struct hostile_case {
  std::string program;
  std::vector<std::string> args;
  int status;
  std::string last_line;  // the program's closing message
};

TEST(hostile_inputs, every_program_fails_cleanly) {
  temp_dir dir;
  const std::map<std::string, bytes> inputs = {
      {"empty", {}},
      {"short.ega", pattern_bytes(1000, 1)},
      {"v4.bmp", broken_bitmap(576, 792, 4, 14, 108)},
      {"v5.bmp", broken_bitmap(512, 736, 8, 14, 124)},
      {"negative.bmp", broken_bitmap(576, 792, 4, 22, static_cast<std::uint32_t>(-792))},
      {"zero-width.bmp", broken_bitmap(0, 792, 24)},
      {"cut-palette.bmp", head(broken_bitmap(512, 4, 8), 300)},
      {"huge.bmp", broken_bitmap(576, 792, 24, 18, 0x40000000)},
      {"truncated.bmp", head(broken_bitmap(576, 792, 4), 100000)},
      {"ok.xdf", x68k_image(false, false, false)},
      {"loop.xdf", x68k_image(true, false, false)},
      {"beyond.xdf", x68k_image(false, true, false)},
      {"huge-size.xdf", x68k_image(false, false, true)},
      {"cut.xdf", head(x68k_image(false, false, false), 11263)},
      {"loop-catalog.dsk", apple_image(true, false)},
      {"loop-list.dsk", apple_image(false, true)},
  };
  for (const auto& [name, data] : inputs) write_file(dir / name, data);
  fs::create_directory(dir / "folder");

  const std::string hp0 = "S\x01HP0";
  const hostile_case cases[] = {
      {"egatiles", {"empty", "out.bmp"}, 1, "read error 'empty'"},
      {"egatiles", {"short.ega", "out.bmp"}, 1, "read error 'short.ega'"},
      {"a2tiles", {"--disk", "empty", "out.bmp"}, 1, "read disk image error 'empty'"},
      {"a2tiles", {"--disk", "folder", "out.bmp"}, 1, "read disk image error 'folder'"},
      {"a2tiles", {"--do", "--disk", "loop-catalog.dsk", "out.bmp"}, 1,
       "read disk image error 'loop-catalog.dsk'"},
      {"a2tiles", {"--disk", "loop-list.dsk", "out.bmp"}, 1,
       "read disk image error 'loop-list.dsk/" + hp0 + "'"},
      {"x68ktiles", {"--disk", "empty", "out.bmp"}, 1, "read disk image error empty"},
      {"x68ktiles", {"--disk", "folder", "out.bmp"}, 1, "read disk image error folder"},
      {"x68ktiles", {"--disk", "cut.xdf", "out.bmp"}, 1, "read disk image error cut.xdf"},
      {"x68ktiles", {"--disk", "beyond.xdf", "out.bmp"}, 1,
       "read disk image error beyond.xdf/shape.pat"},
      {"pc98tiles", {"--disk1", "empty", "out.bmp"}, 1, "read disk image error empty"},
      {"pc98tiles", {"--disk1", "ok.xdf", "out.bmp"}, 1, "read disk image error ok.xdf/ocshape.pat"},
      {"pc98tilepatch", {"empty"}, 1, "read shapes file error 'empty'"},
      {"pc98tilepatch", {"folder"}, 1, "read shapes file error 'folder'"},
      {"pc98tilepatch", {"v5.bmp"}, 1, "read shapes file error 'v5.bmp'"},
      {"pc98tilepatch", {"cut-palette.bmp"}, 1, "read shapes file error 'cut-palette.bmp'"},
      {"x68ktilepatch", {"--disk", "ok.xdf", "v4.bmp"}, 1, "read bitmap file error 'v4.bmp'"},
      {"x68ktilepatch", {"--disk", "ok.xdf", "negative.bmp"}, 1,
       "read bitmap file error 'negative.bmp'"},
      {"x68ktilepatch", {"--disk", "ok.xdf", "zero-width.bmp"}, 1,
       "read bitmap file error 'zero-width.bmp'"},
      {"x68ktilepatch", {"--disk", "ok.xdf", "huge.bmp"}, 1, "read bitmap file error 'huge.bmp'"},
      {"x68ktilepatch", {"--disk", "ok.xdf", "truncated.bmp"}, 1,
       "read bitmap file error 'truncated.bmp'"},
  };
  for (const hostile_case& c : cases) {
    SCOPED_TRACE(c.program + " " + c.args.back());
    const program_result r = run_program(c.program, c.args, dir.path);
    EXPECT_EQ(r.status, c.status);
    ASSERT_FALSE(r.output.empty());
    const std::size_t start = r.output.rfind('\n', r.output.size() - 2);
    EXPECT_EQ(r.output.substr(start == std::string::npos ? 0 : start + 1), c.last_line + "\n")
        << r.output;
    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
    EXPECT_FALSE(fs::exists(dir / "KV_Mirath.NEW.fdi"));
    EXPECT_FALSE(fs::exists(dir / "kv-mirath.NEW.xdf"));
  }
  for (const auto& [name, data] : inputs) EXPECT_EQ(read_file(dir / name), data) << name;
}

// Damage that the FAT12 reader survives by design: a chain that loops
// back is read along the loop for the length asked, and a directory size
// of 0xFFFFFFFF is only larger than asked.
TEST(hostile_inputs, looping_chains_and_huge_sizes_do_not_hang) {
  temp_dir dir;
  write_file(dir / "loop.xdf", x68k_image(true, false, false));
  write_file(dir / "huge-size.xdf", x68k_image(false, false, true));
  program_result r = run_program("x68ktiles", {"--disk", "loop.xdf", "a.bmp"}, dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(fs::exists(dir / "a.bmp"));
  r = run_program("x68ktiles", {"--disk", "huge-size.xdf", "b.bmp"}, dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "file size mismatch 'shape.pat' -1 != 212544 ... ignored\n");
}

}  // namespace
