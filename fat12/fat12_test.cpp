#include "fat12/fat12.h"

#include <gtest/gtest.h>

#include <tuple>

#include "testing/container_builder.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

// Decodes `image_bytes`, named disk.img, as a PC-98 or X68000 tool does
// the bytes of its image file.
disk_image load_bytes(const bytes& image_bytes, disk_family family) {
  disk_image image;
  EXPECT_EQ(decode_disk_image(image, image_bytes, "disk.img", family), 0);
  return image;
}

TEST(fat12_names, converts_to_directory_form) {
  const std::pair<const char*, const char*> cases[] = {
      {"ocshape.pat", "ocshape pat"}, {"a", "a          "}, {"a.", "a          "},
      {".pat", "        pat"}, {"abcdefgh.pat", "abcdefghpat"}, {"a.b.c", "a       b.c"},
      {"abcdefghi.pat", "refused"}, {"shape.patx", "refused"},
  };
  for (const auto& [name, dos] : cases) {
    std::array<char, 12> out{};
    const std::string result = make_dos_filename(out, name) < 0 ? "refused" : out.data();
    EXPECT_EQ(result, dos) << name;
  }
}

// Reads from a volume holding, in slot 0, a deleted entry "\xE5HAPE   PAT"
// (its name's first byte compared like any other), then SHAPE.PAT (3000
// bytes on clusters 40, 7, 900), a second SHAPE.PAT (never found), a name
// stored in lower case, and one in slot 191, the last (both with a Z, the
// last letter). Each row may set FAT entry `cluster` to `value`; cluster 0
// sets the first cluster of SHAPE.PAT to `value` instead, cluster 1 its
// directory size.
TEST(fat12_read, finds_files_and_follows_chains) {
  const bytes contents = pattern_bytes(3000, 1);
  bytes looped = contents;  // a chain that comes back to its first cluster
  std::copy_n(contents.begin(), 952, looped.begin() + 2048);
  const struct {
    std::string name; bool ignore_case; std::size_t length; int cluster, value; int result;
    std::string output; bytes data;
  } cases[] = {
      {"shape.pat", true, 3000, -1, 0, 0, "", contents},
      {"SHAPE.PAT", false, 1100, -1, 0, 0, "file size mismatch 'SHAPE.PAT' 3000 != 1100 ... ignored\n",
       bytes(contents.begin(), contents.begin() + 1100)},
      {"shape.pat", false, 3000, -1, 0, -1, "can't find 'shape.pat'\n", {}},
      {"shape.pat", true, 3001, -1, 0, -1, "file size error 'shape.pat' 3000 < 3001\n", {}},
      {"abcdefghi.pat", true, 10, -1, 0, -1, "illegal filename 'abcdefghi.pat'\n", {}},
      {"LOWERZ.PAT", true, 5, -1, 0, 0, "", bytes(5, 0x10)},
      {"lastz.pat", true, 5, -1, 0, 0, "", bytes(5, 0x20)},
      {"\xE5hape.pat", true, 5, -1, 0, 0, "", bytes(5, 0x30)},
      // The chain: end marker, cluster 1, a cluster past the volume, first
      // cluster 0; the end marker is never reached when it is not needed.
      {"shape.pat", true, 3000, 7, 0xFFF, -1, "fat error 'shape.pat'\n", {}},
      {"shape.pat", true, 3000, 7, 1, -1, "fat error 'shape.pat'\n", {}},
      {"shape.pat", true, 3000, 7, 1231, -1, "fat error 'shape.pat'\n", {}},
      {"shape.pat", true, 3000, 0, 0, -1, "fat error 'shape.pat'\n", {}},
      {"shape.pat", true, 3000, 7, 40, 0, "", looped},  // read along the loop as far as asked
      {"shape.pat", true, 3000, 1, -1, 0, "file size mismatch 'shape.pat' -1 != 3000 ... ignored\n", contents},
      {"shape.pat", true, 2048, 7, 0xFFF, 0, "file size mismatch 'shape.pat' 3000 != 2048 ... ignored\n",
       bytes(contents.begin(), contents.begin() + 2048)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " " + std::to_string(c.cluster));
    fat12_volume volume;
    volume.add_file("\xE5HAPE   PAT", bytes(5, 0x30), {60});
    volume.add_file("SHAPE   PAT", contents, {40, 7, 900});
    volume.add_file("SHAPE   PAT", pattern_bytes(3000, 2), {50, 51, 52});
    volume.add_file("lowerz  pat", bytes(5, 0x10), {61});
    volume.add_file("LASTZ   PAT", bytes(5, 0x20), {62});
    std::copy_n(volume.data.begin() + static_cast<std::ptrdiff_t>(fat12_volume::slot_offset(4)), 32,
                volume.data.begin() + static_cast<std::ptrdiff_t>(fat12_volume::slot_offset(191)));
    volume.data[fat12_volume::slot_offset(4)] = 0;  // free slots up to 191
    if (c.cluster > 1) volume.set_fat(c.cluster, c.value);
    if (c.cluster == 0) volume.data[fat12_volume::slot_offset(1) + 26] = static_cast<std::uint8_t>(c.value);
    if (c.cluster == 1) write_le32(&volume.data[fat12_volume::slot_offset(1) + 28], std::uint32_t(c.value));
    disk_image image = load_bytes(volume.as_fdi(), disk_family::pc98);
    bytes buffer(c.length + 100, 0xAB);  // nothing past the asked length is written
    EXPECT_EQ(result_and_output([&] { return read_image_file(image, c.name, std::span(buffer).first(c.length), c.ignore_case); }),
              std::pair(c.result, c.output));
    EXPECT_EQ(bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(c.data.size())), c.data);
    EXPECT_EQ(bytes(buffer.end() - 100, buffer.end()), bytes(100, 0xAB));
  }
}

TEST(fat12_load, counts_whole_sectors_and_refuses_short_images) {
  temp_dir dir;
  fat12_volume volume(41);  // an odd count: the last FAT entry has no partner
  volume.set_fat(40, 0x123);
  bytes fdi = volume.as_fdi();
  fdi.resize(fdi.size() + 100, 0x5A);  // a partial sector is kept but not counted
  disk_image image = load_bytes(fdi, disk_family::pc98);
  EXPECT_EQ(std::tuple(image.fat_count, image.fat.back(), image.container.file_bytes), std::tuple(41, 0x123, fdi));
  image = load_bytes(volume.as_xdf(), disk_family::x68k);
  EXPECT_EQ(image.fat_count, 41);
  // Two sectors, two entries: 12 bits each from the bytes after the boot
  // sector, 23 61 45 holding 0x123 and 0x456; no whole sector, no entry.
  auto decoded = [](const bytes& xdf) {
    disk_container container;
    std::vector<std::int32_t> fat = {1};
    EXPECT_EQ(open_disk_container(container, xdf, "disk.img", disk_family::x68k), 0);
    EXPECT_EQ(decode_fat(container, fat), 0);
    return fat;
  };
  bytes two(2048);
  std::copy_n(bytes{0x23, 0x61, 0x45}.begin(), 3, two.begin() + 1024);
  EXPECT_EQ(decoded(two), (std::vector<std::int32_t>{0x123, 0x456}));
  EXPECT_TRUE(decoded(bytes(1000)).empty());
  const std::string path = (dir / "disk.img").string();
  // Short of a system area (11 sectors of 1024 bytes after the FDI header),
  // and just the system area.
  for (std::size_t size : {std::size_t{0}, std::size_t{4096 + 11263}, std::size_t{4096 + 11264}}) {
    write_file(path, bytes(size, 0));
    const bool whole = size == 4096 + 11264;
    EXPECT_EQ(result_and_output([&] { return load_disk_image(image, path, disk_family::pc98); }),
              std::make_pair(whole ? 0 : -1, whole ? "" : "disk image too small '" + path + "'\n"));
  }
}

// A write changes only its own bytes (in the partial last cluster only
// the first 52) along the chain; the FATs and the directory keep theirs.
TEST(fat12_write, writes_in_place_and_saves_safely) {
  temp_dir dir;
  fat12_volume volume;
  volume.add_file("SHAPE   PAT", pattern_bytes(2500, 6), {300, 12, 13});
  bytes expected = volume.as_xdf();
  disk_image image = load_bytes(expected, disk_family::x68k);
  const auto write = [&image](const char* name) {
    return result_and_output([&] { return write_image_file(image, name, bytes(2100, 7), true); });
  };
  EXPECT_EQ(write("none.pat"), std::make_pair(-1, std::string("can't find 'none.pat'\n")));
  EXPECT_EQ(write("shape.pat"),
            std::make_pair(0, std::string("file size mismatch 'shape.pat' 2500 != 2100 ... ignored\n")));
  for (int cluster : {300, 12, 13}) {
    std::fill_n(expected.begin() + std::ptrdiff_t(fat12_volume::cluster_offset(cluster)), cluster == 13 ? 52 : 1024, 7);
  }
  ASSERT_EQ(save_disk_image(image, (dir / "out.img").string()), 0);
  EXPECT_EQ(read_file(dir / "out.img"), expected);
}

// Writing back refuses a chain that would overwrite bytes it has already
// written or clusters of another file in use, in the root directory or in
// any folder; the image is then unchanged.
TEST(fat12_write, refuses_looping_and_cross_linked_chains) {
  // shape.pat holds clusters 2, 3, 4 (3000 bytes), OTHER.DAT 10 and 11
  // (2048 bytes); the folder SUB (cluster 20) holds INNER.DAT (30, 31) and
  // the folder DEEP (21), which holds DEEPER.DAT (40). Each case sets FAT
  // entries and changes bytes of the slot of OTHER.DAT (0), INNER.DAT (1)
  // or DEEPER.DAT (2): byte 0 0xE5 frees it, byte 11 holds the attributes
  // (0x08 volume label, 0x10 folder), byte 29 the size's second byte (0x04:
  // 1024 bytes, 0x00: none).
  const struct {
    const char* how; std::vector<std::pair<int, int>> fat; int slot;
    std::vector<std::pair<std::size_t, std::uint8_t>> slot_bytes; std::size_t length; bool refused;
  } cases[] = {
      {"loop back to the first cluster", {{3, 2}}, 0, {}, 3000, true},
      {"loop only past the written length", {{3, 2}}, 0, {}, 2048, false},
      {"into another file", {{3, 10}}, 0, {}, 3000, true},
      {"into another file's chain beyond its size", {{3, 11}}, 0, {{29, 0x04}}, 3000, false},
      {"into a deleted entry's clusters", {{3, 10}}, 0, {{0, 0xE5}}, 3000, false},
      {"into clusters a volume label names", {{3, 10}}, 0, {{11, 0x08}}, 3000, false},
      {"into a folder's chain", {{3, 11}}, 0, {{11, 0x10}, {29, 0x00}}, 3000, true},
      {"into a file in a folder", {{3, 31}}, 1, {}, 3000, true},
      {"into a file in a folder in a folder", {{3, 40}}, 2, {}, 3000, true},
      {"into a deleted entry's clusters in a folder", {{3, 30}}, 1, {{0, 0xE5}}, 3000, false},
      {"into a file of a folder whose chain loops", {{3, 40}, {20, 20}, {21, 20}}, 2, {}, 3000, true},
      {"into a file past a folder chain that leaves the volume", {{3, 31}, {20, 1500}}, 1, {}, 3000, true},
  };
  for (const auto& c : cases) {
    fat12_volume volume;
    volume.add_file("SHAPE   PAT", pattern_bytes(3000, 1), {2, 3, 4});
    const std::size_t slots[] = {
        fat12_volume::slot_offset(volume.add_file("OTHER   DAT", pattern_bytes(2048, 2), {10, 11})),
        volume.add_folder("SUB        ", 20, {{"INNER   DAT", {30, 31}, 2048}}),
        volume.add_folder("DEEP       ", 21, {{"DEEPER  DAT", {40}, 1024}}, 20)};
    for (const auto& [cluster, value] : c.fat) volume.set_fat(cluster, value);
    for (const auto& [at, value] : c.slot_bytes) volume.data[slots[c.slot] + at] = value;
    disk_image image = load_bytes(volume.as_xdf(), disk_family::x68k);
    const bytes before = image.container.file_bytes;
    const bytes data(c.length, 0x77);
    const auto [result, out] = result_and_output([&] { return write_image_file(image, "shape.pat", data, true); });
    EXPECT_EQ(std::tuple(result, out.ends_with("fat error 'shape.pat'\n"), image.container.file_bytes == before),
              std::tuple(c.refused ? -1 : 0, c.refused, c.refused)) << c.how;
  }
}

// A chain that needs a sector the container lacks is not written (the
// programs' runs show the reading side): SHAPE.PAT on clusters 2-4, sectors
// 11-13, track 1 records 4-6, with track 1 left out of a D88.
TEST(fat12_write, refuses_a_chain_through_a_missing_sector) {
  fat12_volume volume;
  volume.add_file("SHAPE   PAT", pattern_bytes(3000, 4), {2, 3, 4});
  const bytes d88 = make_d88(volume.data, {0x2B0, false, false, {1}});
  disk_image image = load_bytes(d88, disk_family::pc98);
  EXPECT_EQ(result_and_output([&] { return write_image_file(image, "shape.pat", bytes(3000, 1), true); }),
            std::make_pair(-1, std::string("sector error 'disk.img' track 1 sector 4: absent\n")));
  EXPECT_EQ(image.container.file_bytes, d88);
}

}  // namespace
