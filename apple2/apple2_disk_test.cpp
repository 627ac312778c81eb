#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <tuple>

#include "apple2/apple2.h"
#include "testing/container_builder.h"
#include "testing/dos33_builder.h"
#include "testing/testing.h"

// Allocations that operator new grants before it throws; negative: no limit.
// Out of line, or g++ takes the free() of a new'd pointer for a mismatch.
static long allocations_granted = -1;

[[gnu::noinline]] void* operator new(std::size_t size) {
  if (allocations_granted == 0) throw std::bad_alloc();
  if (allocations_granted > 0) --allocations_granted;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

const std::string shape0("S\x01HP0", 5);

struct outcome {
  int load_result = 0, read_result = -1;
  std::string output;  // everything printed
  apple_disk disk;
  bytes data;
};

const temp_dir folder;
const std::string image_path = (folder / "disk.dsk").string();

// Loads `image` from a file and, when that works, reads the file `name` into
// `size` bytes.
outcome load_and_read(const bytes& image, int order, std::string_view name, std::size_t size) {
  write_file(image_path, image);
  outcome o;
  o.data.resize(size);
  o.output = capture_stdout([&] {
    o.load_result = load_apple_disk(o.disk, image_path, order);
    if (o.load_result == 0) o.read_result = read_apple_file(o.disk, name, o.data);
  });
  return o;
}

TEST(apple2_disk, sector_order_given_or_detected_and_names_matched_exactly) {
  const bytes body = pattern_bytes(4096, 7);
  dos33_image usual;  // catalog on sectors 15 down to 1
  dos33_image single(35, 1);  // sector 15 alone, at the same place in both orders
  dos33_image short_catalog(35, 2);  // sectors 15 and 14 only
  for (dos33_image* image : {&usual, &single, &short_catalog}) {
    image->add_file(shape0, 0x04, dos33_image::with_length_header(0x04, body));
  }
  short_catalog.sector(17, 1)[1] = 0x60;  // the DOS map reads this as sector 14
  // image, order given, order settled, file readable. Through the wrong map
  // the usual chain ends at position 14 (sector 1); one sector is a tie. A
  // 2MG takes its header's order unless one is given; a WOZ is in DOS 3.3
  // order whatever is given.
  const std::tuple<bytes, int, int, bool> rows[] = {
      {usual.as_dos_order(), 0, 1, true}, {usual.as_dos_order(), 1, 1, true},
      {usual.as_prodos_order(), 2, 2, true}, {usual.as_prodos_order(), 0, 2, true},
      {single.as_dos_order(), 0, 1, true}, {single.as_prodos_order(), 0, 1, false},
      {short_catalog.as_prodos_order(), 0, 2, true},
      {make_2mg(single, 1), 0, 2, true}, {make_2mg(single, 1), 1, 1, false},
      {make_woz(single, 1), 2, 1, true},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const auto& [image, order, settled, readable] = rows[i];
    const outcome o = load_and_read(image, order, shape0, 4096);
    EXPECT_EQ(std::pair(o.disk.sector_order, o.data == body), std::pair(settled, readable)) << "row " << i << ": " << o.output;
  }
  // The name's control character and case count.
  const outcome o = load_and_read(usual.as_dos_order(), 0, "SHP0", 16);
  EXPECT_EQ(o.output, "file not found 'SHP0'\n");
  EXPECT_EQ(find_apple_file(o.disk, std::string("s\x01hp0", 5)), nullptr);
}

TEST(apple2_disk, file_types_and_damaged_images) {
  const std::string no_catalog = "can't get catalog '" + image_path + "'\n";
  const std::string no_lists = "can't get track/sector list '" + image_path + "'\n";
  // A file F of the type and length is stored with its one T/S list at 18/15.
  // The pair 0xTTSS is written at offset 0xTTSBB of the DOS-order image
  // (track TT, sector S, byte BB; 0 is the unused boot sector), the image is
  // cut to `size` bytes, and `asked` bytes of F are read. Then the load's
  // result, the read's result and everything printed.
  // clang-format off
  const std::tuple<std::uint8_t, int, int, int, int, int, int, int, std::string> rows[] = {
      {0x04, 4096, 4096,       0,      0, 143360,  0, 4096, ""},  // 252 + 15 x 256 + 4
      {0x84, 4096, 4096,       0,      0, 143360,  0, 4096, ""},  // locked
      {0x02, 4096, 4096,       0,      0, 143360,  0, 4096, ""},  // 254 + 15 x 256 + 2
      {0x10, 4096, 4096,       0,      0, 143360,  0, 4096, ""},  // 250 + 15 x 256 + 6
      {0x04, 4096, 1000,       0,      0, 143360,  0, 1000, "file size mismatch 'F' 4096 != 1000\n"},
      {0x00,  700, 4096,       0,      0, 143360,  0,  768, ""},  // no header: whole sectors
      {0x04, 4096, 4096, 0x12E02, 0xFD00, 143360,  0,  253, "file size mismatch 'F' 253 != 4096\n"},
      {0x00, 4096, 4096,       0,      0,      0, -1,   -1, "read error '" + image_path + "'\n"},
      {0x00, 4096, 4096,       0,      0,  73727, -1,   -1, "disk image size error\n" + no_catalog},
      {0x00, 4096, 4096,       0,      0,  73728,  0,   -1, "illegal track/sector (12/0F)\n" + no_lists},
      {0x00, 4096, 4096, 0x11101, 0x110E, 143360, -1,   -1, no_catalog},  // catalog loop
      {0x00, 4096, 4096, 0x12F01, 0x120F, 143360,  0,   -1, "illegal track/sector (12/0F)\n" + no_lists},
      {0x00, 4096, 4096, 0x12F01, 0x1210, 143360,  0,   -1, "illegal track/sector (12/10)\n" + no_lists},
      {0x00, 4096, 4096, 0x12F12, 0x1210, 143360,  0,  768, "illegal track/sector list[00:03] (12/10)\n"},
      {0x00, 4096, 4096, 0x12F2E, 0x2300, 143360,  0, 4096, ""},  // pair 17: past the count
      {0x00, 4096, 4096, 0x11F0B, 0xFF0F, 143360,  0,   -1, ""},  // deleted: no lists
      // Pair 0, the sector with the length header: past the last track, and
      // the last sector of an image one byte short.
      {0x04, 4096, 4096, 0x12F0C, 0x2300, 143360,  0,    0, "illegal track/sector list[00:00] (23/00)\n"},
      {0x04, 4096, 4096, 0x12F0C, 0x220F, 143359,  0,    0, "illegal track/sector list[00:00] (22/0F)\n"},
      // One full list and a sector count of 200: the read stops with the chain.
      {0x00, 31232, 40000, 0x11F2C, 0xC800, 143360, 0, 31232, ""},
      // Pair 3 of the second list (18/14) of a file of 130 data sectors.
      {0x00, 33280, 33280, 0x12E12, 0x2300, 143360, 0, 32000, "illegal track/sector list[7A:03] (23/00)\n"},
      // A sector count of 1: the list sector alone, no data.
      {0x00, 4096, 4096, 0x11F2C, 0x0100, 143360, 0, -1, ""},
      // Pair 1 names 00/00: the boot sector is read (all 0xB0 here), not skipped.
      {0x00, 4096, 4096, 0x12F0E, 0x0000, 143360, 0, 4096, ""},
  };
  // clang-format on
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const auto& [type, length, asked, at, pair, size, load_result, read_result, message] = rows[i];
    SCOPED_TRACE(testing::Message() << "row " << i);
    dos33_image image;
    const bytes body = pattern_bytes(static_cast<std::size_t>(length), type);
    image.add_file("F", type, dos33_image::with_length_header(type, body));
    bytes data = image.as_dos_order();
    std::fill_n(data.begin(), 256, 0xB0);
    data[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(pair >> 8);
    data[static_cast<std::size_t>(at) + 1] = static_cast<std::uint8_t>(pair);
    data.resize(static_cast<std::size_t>(size));
    const outcome o = load_and_read(data, 0, "F", static_cast<std::size_t>(asked));
    EXPECT_EQ(std::tuple(o.load_result, o.read_result, o.output), std::tuple(load_result, read_result, message));
    bytes expected = body;  // sector tails and the rest of the buffer are zero
    expected.resize(static_cast<std::size_t>(std::max(read_result, 0)));
    expected.resize(static_cast<std::size_t>(asked));
    if (at != 0 && pair == 0) std::fill_n(expected.begin() + 256, 256, 0xB0);
    EXPECT_EQ(o.data, expected);
  }
}

// Each allocation of a load fails in turn until none does: first the
// image's (I), then the catalog's (C), then those of the T/S lists (L, or K
// when file A, whose list is read first, stays readable).
TEST(apple2_disk, running_out_of_memory) {
  dos33_image image;
  image.add_file("A", 0x00, bytes(300, 1));
  image.add_file("B", 0x00, bytes(300, 1));
  write_file(image_path, image.as_dos_order());
  const std::string exhausted = "memory exhaust!\n";
  std::string seen;
  for (long granted = 0;; ++granted) {
    apple_disk disk;
    int result = 0;
    const std::string output = capture_stdout([&] {
      allocations_granted = granted;
      result = load_apple_disk(disk, image_path, 0);
      allocations_granted = -1;
    });
    if (output.empty()) break;
    bytes data(300);
    if (result < 0 && output == exhausted) seen += 'I';
    else if (result < 0 && output == exhausted + "can't get catalog '" + image_path + "'\n") seen += 'C';
    else if (result == 0 && output == exhausted + "can't get track/sector list '" + image_path + "'\n")
      seen += read_apple_file(disk, "A", data) == 300 ? 'K' : 'L';
    else ADD_FAILURE() << result << " " << output;
  }
  seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_TRUE(seen == "ICK" || seen == "ICLK") << seen;
}

}  // namespace
