#include <gtest/gtest.h>

#include <functional>

#include "apple2/apple2.h"
#include "testing/dos33_builder.h"
#include "testing/testing.h"

namespace {

const std::string shape0("S\x01HP0", 5);

struct loaded {
  int result = 0;
  std::string output;
  apple_disk disk;
};

loaded load(const temp_dir& dir, const bytes& image, int order) {
  write_file(dir / "disk.dsk", image);
  loaded l;
  l.output = capture_stdout(
      [&] { l.result = load_apple_disk(l.disk, (dir / "disk.dsk").string(), order); });
  return l;
}

TEST(apple2_disk, sector_order_given_or_detected) {
  const bytes body = pattern_bytes(4096, 7);
  dos33_image usual;  // catalog on sectors 15 down to 1
  usual.add_file(shape0, 0x04, dos33_image::with_length_header(0x04, body));
  dos33_image short_catalog(35, 2);  // sectors 15 and 14 only
  short_catalog.add_file(shape0, 0x04, dos33_image::with_length_header(0x04, body));
  short_catalog.sector(17, 1)[1] = 0x60;  // the DOS map reads this as sector 14
  struct row {
    bytes image;
    int order, expected_order;
    bool readable;
  };
  // A ProDOS image with the usual catalog also walks under the DOS map
  // (position 14 holds sector 1, which ends the chain): DOS order wins.
  const row rows[] = {{usual.as_dos_order(), 0, 1, true},
                      {usual.as_dos_order(), 1, 1, true},
                      {usual.as_prodos_order(), 2, 2, true},
                      {usual.as_prodos_order(), 0, 1, false},
                      {short_catalog.as_prodos_order(), 0, 2, true}};
  temp_dir dir;
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << "row " << (&r - rows));
    loaded l = load(dir, r.image, r.order);
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(l.disk.sector_order, r.expected_order);
    EXPECT_EQ(l.disk.track_count, 35);
    bytes out(4096);
    capture_stdout([&] { read_apple_file(l.disk, shape0, out); });
    EXPECT_EQ(out == body, r.readable);
    free_apple_disk(l.disk);
    EXPECT_TRUE(l.disk.catalog.empty() && l.disk.disk_data.empty());
  }
}

TEST(apple2_disk, name_key_sets_bit_7_and_is_case_sensitive) {
  dos33_image image;
  image.add_file("OTHER", 0x00, bytes(10));
  image.add_file(shape0, 0x00, bytes(10));
  temp_dir dir;
  loaded l = load(dir, image.as_dos_order(), 0);
  const file_entry* entry = find_apple_file(l.disk, shape0);
  ASSERT_NE(entry, nullptr);
  const std::string stored = "\xD3\x81\xC8\xD0\xB0" + std::string(25, '\xA0');
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), entry->name.begin(),
                         [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
  EXPECT_EQ(find_apple_file(l.disk, std::string("s\x01hp0", 5)), nullptr);
  bytes out(16);
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(read_apple_file(l.disk, "SHP0", out), -1); }),
            "file not found 'SHP0'\n");
}

TEST(apple2_disk, file_types_set_the_length_header) {
  struct row {
    std::uint8_t type;
    std::size_t body_size, asked;
    int expected;
    const char* message;
  };
  const row rows[] = {
      {0x04, 4096, 4096, 4096, ""},  // 252 + 15 x 256 + 4
      {0x84, 4096, 4096, 4096, ""},  // locked
      {0x04, 4096, 1000, 1000, "file size mismatch 'F' 4096 != 1000\n"},
      {0x02, 600, 4096, 600, "file size mismatch 'F' 600 != 4096\n"},
      {0x10, 300, 300, 300, ""},
      {0x00, 700, 4096, 768, ""},  // no header: whole sectors until the count runs out
  };
  temp_dir dir;
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << "type " << int(r.type) << " asked " << r.asked);
    dos33_image image;
    const bytes body = pattern_bytes(r.body_size, r.type);
    bytes stored = dos33_image::with_length_header(r.type, body);
    image.add_file("F", r.type, stored);
    loaded l = load(dir, image.as_dos_order(), 1);
    bytes out(r.asked);
    int result = 0;
    EXPECT_EQ(capture_stdout([&] { result = read_apple_file(l.disk, "F", out); }), r.message);
    ASSERT_EQ(result, r.expected);
    const std::size_t header = stored.size() - body.size();
    stored.resize(header + 4096);  // unused sector tails are zero
    EXPECT_TRUE(
        std::equal(out.begin(), out.begin() + result, stored.begin() + static_cast<long>(header)));
  }
}

TEST(apple2_disk, damaged_images_fail_or_stop_without_reading_outside) {
  using damage = std::function<void(dos33_image&, dos33_file&)>;
  struct row {
    const char* what;
    damage change;
    long size;  // bytes of the image kept; -1 all
    int load_result;
    const char* load_message;  // '@' stands for the image path
    int read_result;
  };
  const damage none = [](dos33_image&, dos33_file&) {};
  const row rows[] = {
      {"empty file", none, 0, -1, "read error '@'\n", -1},
      {"73727 bytes", none, 73727, -1, "disk image size error\ncan't get catalog '@'\n", -1},
      {"73728 bytes", none, 73728, 0,
       "illegal track/sector (12/0F)\ncan't get track/sector list '@'\n", -1},
      {"catalog loop", [](dos33_image& i, dos33_file&) { i.link_catalog(1, 17, 14); }, -1, -1,
       "can't get catalog '@'\n", -1},
      {"catalog past track 49", [](dos33_image& i, dos33_file&) { i.link_catalog(15, 50, 3); }, -1,
       -1, "can't get catalog '@'\n", -1},
      {"T/S list loop",
       [](dos33_image& i, dos33_file& f) { i.link_ts_list(f.ts_lists[0], 18, 15); }, -1, 0,
       "illegal track/sector (12/0F)\ncan't get track/sector list '@'\n", -1},
      {"link sector above 15",
       [](dos33_image& i, dos33_file& f) { i.link_ts_list(f.ts_lists[0], 18, 16); }, -1, 0,
       "illegal track/sector (12/10)\ncan't get track/sector list '@'\n", -1},
      {"pair sector above 15",
       [](dos33_image& i, dos33_file& f) { i.set_ts_pair(f.ts_lists[0], 3, 18, 16); }, -1, 0,
       "illegal track/sector (12/10)\ncan't get track/sector list '@'\n", -1},
      {"pair outside",
       [](dos33_image& i, dos33_file& f) { i.set_ts_pair(f.ts_lists[0], 3, 35, 0); }, -1, 0,
       "illegal track/sector list[00:03] (23/00)\n", 3 * 256},
      {"count beyond the chain", [](dos33_image& i, dos33_file& f) { i.entry(f)[33] = 200; }, -1, 0,
       "", 122 * 256},
      {"deleted", [](dos33_image& i, dos33_file& f) { i.entry(f)[0] = 0xFF; }, -1, 0, "", -1},
      {"count 1", [](dos33_image& i, dos33_file& f) { i.entry(f)[33] = 1; }, -1, 0, "", -1},
  };
  temp_dir dir;
  const std::string path = (dir / "disk.dsk").string();
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    dos33_image image;
    dos33_file file = image.add_file("F", 0x00, pattern_bytes(4096, 1));  // T/S list at 18/15
    r.change(image, file);
    bytes data = image.as_dos_order();
    if (r.size >= 0) data.resize(static_cast<std::size_t>(r.size));
    loaded l = load(dir, data, 0);
    std::string expected = r.load_message;
    if (const auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, path);
    EXPECT_EQ(l.result, r.load_result);
    EXPECT_EQ(l.output, expected);
    bytes out(40000);
    int result = 0;
    capture_stdout([&] { result = read_apple_file(l.disk, "F", out); });
    EXPECT_EQ(result, r.read_result);
  }
  apple_disk disk;
  const std::string missing = (dir / "none.dsk").string();
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(load_apple_disk(disk, missing, 0), -1); }),
            "open error '" + missing + "'\n");
}

}  // namespace
