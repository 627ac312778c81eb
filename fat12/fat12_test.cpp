#include "fat12/fat12.h"

#include <gtest/gtest.h>

#include <filesystem>

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
      {"abcdefghi.pat", nullptr},      {"shape.patx", nullptr},
  };
  for (const auto& [name, dos] : cases) {
    std::array<char, 12> out{};
    EXPECT_EQ(make_dos_filename(out, name), dos != nullptr ? 0 : -1) << name;
    if (dos != nullptr) {
      EXPECT_EQ(std::string(out.data()), dos) << name;
    }
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
  EXPECT_EQ(read("OCSHAPE.PAT", buffer, false).first, 0);
  EXPECT_EQ(read("ocshape99.pat", buffer),
            std::make_pair(-1, std::string("illegal filename 'ocshape99.pat'\n")));

  bytes big(3001, 0xEE);
  EXPECT_EQ(read("ocshape.pat", big),
            std::make_pair(-1, std::string("file size error 'ocshape.pat' 3000 < 3001\n")));
  EXPECT_EQ(big, bytes(3001, 0xEE));
  bytes small(1100);
  EXPECT_EQ(read("ocshape.pat", small).second,
            "file size mismatch 'ocshape.pat' 3000 != 1100 ... ignored\n");
  EXPECT_EQ(small, bytes(contents.begin(), contents.begin() + 1100));
}

TEST(fat12_read, follows_chains_only_as_far_as_needed) {
  struct {
    const char* how;
    int cluster, value;  // FAT entry changed; cluster -1: the slot's first cluster
    std::size_t length;
    int result;
  } cases[] = {
      {"end marker too early", 3, 0xFFF, 3072, -1},
      {"free entry", 3, 0, 3072, -1},
      {"cluster 1", 3, 1, 3072, -1},
      {"beyond the FAT", 3, 1300, 3072, -1},
      {"FAT entry without data", 3, 1230, 3072, -1},
      {"first cluster 0", -1, 0, 3072, -1},
      {"first cluster far out", -1, 0xFFFF, 3072, -1},
      {"length 0", -1, 0, 0, 0},
      {"end marker never reached", 3, 0xFFF, 2048, 0},
      {"loop copied again", 4, 2, 5000, 0},
  };
  for (const auto& c : cases) {
    temp_dir dir;
    fat12_volume volume;
    const bytes contents = pattern_bytes(3072, 4);
    volume.add_file("SHAPE   PAT", contents, {2, 3, 4}, 5000);
    if (c.cluster >= 0) volume.set_fat(c.cluster, c.value);
    if (c.cluster < 0) {
      volume.data[fat12_volume::slot_offset(0) + 26] = static_cast<std::uint8_t>(c.value);
      volume.data[fat12_volume::slot_offset(0) + 27] = static_cast<std::uint8_t>(c.value >> 8);
    }
    disk_image image = load_bytes(dir, volume.as_xdf(), xdf_volume_offset);
    bytes buffer(c.length);
    const auto [result, out] =
        outcome([&] { return read_image_file(image, "shape.pat", buffer, true); });
    EXPECT_EQ(result, c.result) << c.how;
    if (c.result < 0) {
      EXPECT_EQ(out.substr(out.find("fat")), "fat error 'shape.pat'\n") << c.how;
    }
    for (std::size_t i = 0; c.result == 0 && i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], contents[i % 3072]) << c.how;
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
  EXPECT_EQ(image.image_size, 4096 + 40 * 1024 + 100);
  EXPECT_EQ(image.image_data, fdi);
  EXPECT_EQ(std::vector<std::int32_t>(image.fat.begin(), image.fat.begin() + 3),
            (std::vector<std::int32_t>{0xFFE, 0xFFF, 0}));
  image = load_bytes(dir, volume.as_xdf(), xdf_volume_offset);
  EXPECT_EQ(image.fat_count, 40);

  const std::string path = (dir / "disk.img").string();
  write_file(path, bytes(4096 + 11263, 0));  // one byte short of a system area
  EXPECT_EQ(outcome([&] { return load_disk_image(image, path, 4096); }),
            std::make_pair(-1, "disk image too small '" + path + "'\n"));
  EXPECT_TRUE(image.image_size == 0 && image.fat_count == 0 && image.image_data.empty());
  std::filesystem::remove(path);
  EXPECT_EQ(outcome([&] { return load_disk_image(image, path, 0); }),
            std::make_pair(-1, "open error '" + path + "'\n"));

  std::vector<std::int32_t> fat;
  EXPECT_EQ(outcome([&] { return decode_fat(bytes(3000), 4096, fat); }),
            std::make_pair(-1, std::string("memory exhaust!")));
}

TEST(fat12_write, writes_in_place_and_saves_identically) {
  temp_dir dir;
  fat12_volume volume;
  volume.add_file("SHAPE   PAT", pattern_bytes(2500, 6), {300, 12, 13});
  bytes original = volume.as_xdf();
  original.resize(original.size() + 10, 0x33);
  disk_image image = load_bytes(dir, original, xdf_volume_offset);
  const std::string out = (dir / "out.img").string();

  bytes buffer(2500);
  ASSERT_EQ(read_image_file(image, "shape.pat", buffer, true), 0);
  ASSERT_EQ(write_image_file(image, "shape.pat", buffer, true), 0);
  ASSERT_EQ(save_disk_image(image, out), 0);
  EXPECT_EQ(read_file(out), original);

  // A shorter write changes only its bytes (in the last cluster only the
  // first 52); the FATs and the directory keep theirs.
  EXPECT_EQ(
      outcome([&] { return write_image_file(image, "shape.pat", bytes(2100, 0xC3), true); }),
      std::make_pair(0, std::string("file size mismatch 'shape.pat' 2500 != 2100 ... ignored\n")));
  bytes expected = original;
  for (auto [cluster, count] : {std::pair{300, 1024}, {12, 1024}, {13, 52}}) {
    std::fill_n(
        expected.begin() + static_cast<std::ptrdiff_t>(fat12_volume::cluster_offset(cluster)),
        count, 0xC3);
  }
  EXPECT_EQ(outcome([&] { return write_image_file(image, "shape.pat", bytes(2501), true); }),
            std::make_pair(-1, std::string("file size error 'shape.pat' 2500 < 2501\n")));
  ASSERT_EQ(save_disk_image(image, out), 0);
  EXPECT_EQ(read_file(out), expected);
}

TEST(fat12_save, failure_leaves_existing_target_intact) {
  temp_dir dir;
  disk_image image = load_bytes(dir, fat12_volume(20).as_xdf(), xdf_volume_offset);
  std::filesystem::create_directory(dir / "folder");
  write_file(dir / "readonly.img", std::string("keep"));
  std::filesystem::permissions(dir / "readonly.img", std::filesystem::perms::owner_read);
  // Root may write a read-only file; that case then proves nothing.
  std::FILE* probe = std::fopen((dir / "readonly.img").string().c_str(), "r+b");
  if (probe != nullptr) std::fclose(probe);

  for (const auto& target : {dir / "folder", dir / "missing" / "out.img", dir / "readonly.img"}) {
    if (probe != nullptr && target.filename() == "readonly.img") continue;
    EXPECT_EQ(outcome([&] { return save_disk_image(image, target.string()); }),
              std::make_pair(-1, "open error '" + target.string() + "'\n"));
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
  EXPECT_EQ(read_file(dir / "readonly.img"), bytes({'k', 'e', 'e', 'p'}));
  // Nothing is left behind but the three inputs.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 3);
}

}  // namespace
