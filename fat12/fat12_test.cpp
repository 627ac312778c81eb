#include "fat12/fat12.h"

#include <gtest/gtest.h>

#include <tuple>

#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

// Saves `image_bytes` as disk.img in `dir` and loads it.
disk_image load_bytes(const temp_dir& dir, const bytes& image_bytes, std::int32_t offset) {
  write_file(dir / "disk.img", image_bytes);
  disk_image image;
  EXPECT_EQ(load_disk_image(image, (dir / "disk.img").string(), offset), 0);
  return image;
}

// Runs `call`; its result and what it printed.
template <typename Call>
std::pair<int, std::string> outcome(Call call) {
  int result = 0;
  std::string out = capture_stdout([&] { result = call(); });
  return {result, out};
}

TEST(fat12_names, converts_to_directory_form) {
  const std::pair<const char*, const char*> cases[] = {
      {"ocshape.pat", "ocshape pat"},  {"a", "a          "},
      {"a.", "a          "},           {".pat", "        pat"},
      {"abcdefgh.pat", "abcdefghpat"}, {"a.b.c", "a       b.c"},
      {"abcdefghi.pat", "refused"},    {"shape.patx", "refused"},
  };
  for (const auto& [name, dos] : cases) {
    std::array<char, 12> out{};
    const std::string result = make_dos_filename(out, name) < 0 ? "refused" : out.data();
    EXPECT_EQ(result, dos) << name;
  }
}

TEST(fat12_read, finds_files_and_checks_sizes) {
  temp_dir dir;
  fat12_volume volume;
  const bytes contents = pattern_bytes(3000, 1);
  volume.add_file("OCSHAPE PAT", contents, {40, 7, 900});
  volume.add_file("OCSHAPE PAT", pattern_bytes(3000, 2), {50, 51, 52});  // never found
  disk_image image = load_bytes(dir, volume.as_fdi(), fdi_volume_offset);
  auto read = [&](const std::string& name, bytes& buffer, bool ignore_case = true) {
    return outcome([&] { return read_image_file(image, name, buffer, ignore_case); });
  };

  bytes buffer(3000);
  EXPECT_EQ(read("ocshape.pat", buffer), std::make_pair(0, std::string()));
  EXPECT_EQ(buffer, contents);
  EXPECT_EQ(read("ocshape.pat", buffer, false),
            std::make_pair(-1, std::string("can't find 'ocshape.pat'\n")));

  bytes big(3001), small(1100);
  EXPECT_EQ(read("ocshape.pat", big),
            std::make_pair(-1, std::string("file size error 'ocshape.pat' 3000 < 3001\n")));
  EXPECT_EQ(read("ocshape.pat", small).second,
            "file size mismatch 'ocshape.pat' 3000 != 1100 ... ignored\n");
  EXPECT_EQ(small, bytes(contents.begin(), contents.begin() + 1100));
}

TEST(fat12_read, follows_chains_only_as_far_as_needed) {
  // The FAT entry of `cluster` becomes `value`; cluster -1 makes the first cluster 0.
  const std::tuple<const char*, int, int, std::size_t, int> cases[] = {
      {"end marker too early", 3, 0xFFF, 3072, -1},
      {"cluster 1", 3, 1, 3072, -1},
      {"FAT entry without data", 3, 1230, 3072, -1},
      {"first cluster 0", -1, 0, 3072, -1},
      {"length 0", -1, 0, 0, 0},
      {"end marker never reached", 3, 0xFFF, 2048, 0},
      {"loop copied again", 4, 2, 5000, 0},
  };
  for (const auto& [how, cluster, value, length, result] : cases) {
    temp_dir dir;
    fat12_volume volume;
    const bytes contents = pattern_bytes(3072, 4);
    volume.add_file("SHAPE   PAT", contents, {2, 3, 4}, 5000);
    if (cluster >= 0) volume.set_fat(cluster, value);
    if (cluster < 0) volume.data[fat12_volume::slot_offset(0) + 26] = 0;
    disk_image image = load_bytes(dir, volume.as_xdf(), xdf_volume_offset);
    bytes buffer(length);
    const auto [status, out] =
        outcome([&] { return read_image_file(image, "shape.pat", buffer, true); });
    EXPECT_EQ(status, result) << how;
    EXPECT_EQ(out.ends_with("fat error 'shape.pat'\n"), result < 0) << how;
    for (std::size_t i = 0; result == 0 && i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], contents[i % 3072]) << how;
    }
  }
}

TEST(fat12_load, counts_whole_sectors_and_refuses_short_images) {
  temp_dir dir;
  fat12_volume volume(40);
  bytes fdi = volume.as_fdi();
  fdi.resize(fdi.size() + 100, 0x5A);  // a partial sector is kept but not counted
  disk_image image = load_bytes(dir, fdi, fdi_volume_offset);
  EXPECT_EQ(image.fat_count, 40);
  image = load_bytes(dir, volume.as_xdf(), xdf_volume_offset);
  EXPECT_EQ(image.fat_count, 40);

  const std::string path = (dir / "disk.img").string();
  write_file(path, bytes(4096 + 11263, 0));  // one byte short of a system area
  EXPECT_EQ(outcome([&] { return load_disk_image(image, path, 4096); }),
            std::make_pair(-1, "disk image too small '" + path + "'\n"));
}

TEST(fat12_write, writes_in_place_and_saves_safely) {
  temp_dir dir;
  fat12_volume volume;
  volume.add_file("SHAPE   PAT", pattern_bytes(2500, 6), {300, 12, 13});
  bytes original = volume.as_xdf();
  original.resize(original.size() + 10, 0x33);
  disk_image image = load_bytes(dir, original, xdf_volume_offset);
  const std::string out = (dir / "out.img").string();

  ASSERT_EQ(write_image_file(image, "shape.pat", pattern_bytes(2500, 6), true), 0);
  ASSERT_EQ(save_disk_image(image, out), 0);
  EXPECT_EQ(read_file(out), original);

  // A shorter write changes only its bytes (in the last cluster only the
  // first 52); the FATs and the directory keep theirs.
  const bytes shorter(2100, 7);
  EXPECT_EQ(outcome([&] { return write_image_file(image, "shape.pat", shorter, true); }).first, 0);
  bytes expected = original;
  for (int cluster : {300, 12, 13}) {
    const auto at = static_cast<std::ptrdiff_t>(fat12_volume::cluster_offset(cluster));
    std::fill_n(expected.begin() + at, cluster == 13 ? 52 : 1024, 7);
  }
  ASSERT_EQ(save_disk_image(image, out), 0);
  EXPECT_EQ(read_file(out), expected);
}

// Writing back refuses a chain that would overwrite bytes it has already
// written or clusters of another file in use; the image is then unchanged.
TEST(fat12_write, refuses_looping_and_cross_linked_chains) {
  // shape.pat holds clusters 2, 3, 4 (3000 bytes), OTHER.DAT 10 and 11
  // (2048 bytes). Each case sets FAT entry `cluster` to `value` and changes
  // bytes of the OTHER.DAT slot: byte 0 0xE5 frees it, byte 11 holds the
  // attributes (0x08 volume label, 0x10 folder), byte 29 the size's second
  // byte (0x04: 1024 bytes, 0x00: none).
  const struct {
    const char* how;
    int cluster, value;
    std::vector<std::pair<std::size_t, std::uint8_t>> slot_bytes;
    std::size_t length;
    bool refused;
  } cases[] = {
      {"loop back to the first cluster", 3, 2, {}, 3000, true},
      {"loop only past the written length", 3, 2, {}, 2048, false},
      {"into another file", 3, 10, {}, 3000, true},
      {"into another file's chain beyond its size", 3, 11, {{29, 0x04}}, 3000, false},
      {"into a deleted entry's clusters", 3, 10, {{0, 0xE5}}, 3000, false},
      {"into clusters a volume label names", 3, 10, {{11, 0x08}}, 3000, false},
      {"into a folder's chain", 3, 11, {{11, 0x10}, {29, 0x00}}, 3000, true},
  };
  for (const auto& c : cases) {
    temp_dir dir;
    fat12_volume volume;
    volume.add_file("SHAPE   PAT", pattern_bytes(3000, 1), {2, 3, 4});
    const int other = volume.add_file("OTHER   DAT", pattern_bytes(2048, 2), {10, 11});
    volume.set_fat(c.cluster, c.value);
    for (const auto& [at, value] : c.slot_bytes) volume.data[fat12_volume::slot_offset(other) + at] = value;
    disk_image image = load_bytes(dir, volume.as_xdf(), xdf_volume_offset);
    const bytes before = image.image_data;
    const bytes data(c.length, 0x77);
    const auto [result, out] =
        outcome([&] { return write_image_file(image, "shape.pat", data, true); });
    EXPECT_EQ(result, c.refused ? -1 : 0) << c.how;
    EXPECT_EQ(out.ends_with("fat error 'shape.pat'\n"), c.refused) << c.how;
    EXPECT_EQ(image.image_data == before, c.refused) << c.how;
  }
}

}  // namespace
