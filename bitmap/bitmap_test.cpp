#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "testing/testing.h"

namespace {

using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

file_ptr temporary_file() { return file_ptr(std::tmpfile(), &std::fclose); }

// Everything written to a stream so far.
bytes contents(std::FILE* file) {
  std::fflush(file);
  const long length = std::ftell(file);
  bytes data(static_cast<std::size_t>(length));
  std::rewind(file);
  if (length > 0) {
    EXPECT_EQ(std::fread(data.data(), data.size(), 1, file), 1u);
  }
  return data;
}

file_ptr file_holding(const bytes& data) {
  file_ptr file = temporary_file();
  std::fwrite(data.data(), 1, data.size(), file.get());
  std::rewind(file.get());
  return file;
}

// A whole BMP as written by the library.
bytes bitmap_bytes(std::uint32_t width, std::uint32_t height, std::uint16_t bits,
                   const std::uint8_t* palette, const bytes& canvas) {
  bitmap_header header;
  EXPECT_EQ(init_bitmap_header(header, width, height, bits), 0);
  file_ptr file = temporary_file();
  EXPECT_EQ(write_bitmap(file.get(), header, palette, canvas), 0);
  return contents(file.get());
}

struct read_result {
  int result;
  std::string output;
  bitmap_header header;
  bytes palette;
  bytes canvas;
};

read_result read_bytes(const bytes& data) {
  read_result r{};
  file_ptr file = file_holding(data);
  r.output = capture_stdout(
      [&] { r.result = read_bitmap(file.get(), r.header, &r.palette, &r.canvas, false); });
  return r;
}

TEST(bitmap_write, header_fields_for_a_16_colour_sheet) {
  bitmap_header header;
  ASSERT_EQ(init_bitmap_header(header, 256, 256, 4), 0);
  EXPECT_EQ(header.data_offset, 118u);
  EXPECT_EQ(header.data_length, 32768u);
  EXPECT_EQ(header.file_length, 32886u);
  const bytes file = bitmap_bytes(256, 256, 4, nullptr, bytes(256 * 256));
  ASSERT_EQ(file.size(), 32886u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(read_le32(&file[2]), 32886u);
  EXPECT_EQ(read_le32(&file[10]), 118u);
  EXPECT_EQ(read_le16(&file[28]), 4u);

  bitmap_header untouched;
  untouched.data_offset = 7;
  EXPECT_EQ(init_bitmap_header(untouched, 1, 1, 2), -1);
  EXPECT_EQ(untouched.data_offset, 7u);
  EXPECT_EQ(untouched.header_size, 40u);
}

// The stored rows at the small widths where packing and padding differ.
TEST(bitmap_write, stored_rows_are_packed_padded_and_bottom_up) {
  // 1 bit, 10 wide, 2 rows: any nonzero byte is a set bit.
  bytes one_bit = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF,   // top row
                   0, 2, 0, 0, 0, 0, 0, 0, 1, 0};     // bottom row, stored first
  bytes file = bitmap_bytes(10, 2, 1, nullptr, one_bit);
  ASSERT_EQ(file.size(), 62u + 8u);
  EXPECT_EQ(bytes(file.begin() + 54, file.begin() + 62), bytes(8, 0));  // black palette
  EXPECT_EQ(bytes(file.begin() + 62, file.end()),
            (bytes{0x40, 0x80, 0, 0, 0x80, 0x40, 0, 0}));

  // 4 bits, 3 wide: 16 * p0 + p1, 16 * p2, two padding bytes; high bits ignored.
  file = bitmap_bytes(3, 1, 4, nullptr, bytes{0x1F, 0x02, 0x03});
  EXPECT_EQ(bytes(file.begin() + 118, file.end()), (bytes{0xF2, 0x30, 0, 0}));

  // 24 bits, 1 wide: 3 bytes and 1 padding byte a row; no palette written.
  file = bitmap_bytes(1, 2, 24, nullptr, bytes{1, 2, 3, 4, 5, 6});
  EXPECT_EQ(bytes(file.begin() + 54, file.end()), (bytes{4, 5, 6, 0, 1, 2, 3, 0}));

  // Height 0: header and palette only.
  EXPECT_EQ(bitmap_bytes(5, 0, 8, nullptr, {}).size(), 1078u);
  EXPECT_EQ(bitmap_row_length(33, 1), 8);
  EXPECT_EQ(bitmap_row_length(3, 32), 12);
  EXPECT_EQ(bitmap_row_length(3, 2), -1);
}

TEST(bitmap_write, refuses_unsupported_bit_count_and_short_canvas) {
  bitmap_header header;
  init_bitmap_header(header, 4, 4, 8);
  header.bit_count = 2;
  file_ptr file = temporary_file();
  const std::string output =
      capture_stdout([&] { EXPECT_EQ(write_bitmap(file.get(), header, nullptr, bytes(16)), -1); });
  EXPECT_EQ(output, "");
  EXPECT_TRUE(contents(file.get()).empty());

  init_bitmap_header(header, 4, 4, 8);
  EXPECT_EQ(write_bitmap(file.get(), header, nullptr, bytes(15)), -1);
  EXPECT_TRUE(contents(file.get()).empty());
}

TEST(bitmap_write, full_disk_is_reported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  file_ptr file(std::fopen("/dev/full", "wb"), &std::fclose);
  ASSERT_TRUE(file);
  bitmap_header header;
  init_bitmap_header(header, 256, 256, 4);
  int result = 0;
  const std::string output = capture_stdout(
      [&] { result = write_bitmap(file.get(), header, nullptr, bytes(256 * 256)); });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(output, "error: write_bitmap() - can't write bitmap data\n");
}

// Write then read at every bit count, at widths on both sides of the padding.
TEST(bitmap_read, round_trip_at_every_bit_count) {
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    for (std::uint32_t width : {1u, 3u, 7u, 8u, 9u, 10u, 31u, 33u}) {
      const std::uint32_t height = 5;
      const auto pixel_bytes = static_cast<std::size_t>(bitmap_pixel_bytes(bits));
      bytes canvas = pattern_bytes(width * height * pixel_bytes, width * 100 + bits);
      if (bits == 1) for (auto& b : canvas) b &= 1;
      if (bits == 4) for (auto& b : canvas) b &= 0x0F;
      const bytes palette = pattern_bytes(1024, 7);
      const read_result r =
          read_bytes(bitmap_bytes(width, height, static_cast<std::uint16_t>(bits), palette.data(), canvas));
      SCOPED_TRACE("bits " + std::to_string(bits) + " width " + std::to_string(width));
      ASSERT_EQ(r.result, 0);
      EXPECT_EQ(r.output, "");
      EXPECT_EQ(r.canvas, canvas);
      const int entries = bitmap_palette_entries(bits);
      EXPECT_EQ(r.palette, bytes(palette.begin(), palette.begin() + 4 * entries));
    }
  }
}

TEST(bitmap_read, padding_bytes_are_ignored_and_palette_can_be_skipped) {
  bytes file = bitmap_bytes(10, 1, 1, nullptr, bytes{1, 0, 1, 0, 1, 0, 1, 0, 1, 1});
  file[62 + 1] |= 0x3F;  // bits past the 10th pixel
  file[62 + 2] = 0xAA;
  file[62 + 3] = 0x55;
  file_ptr stream = file_holding(file);
  bitmap_header header;
  bytes canvas;
  ASSERT_EQ(read_bitmap(stream.get(), header, nullptr, &canvas, false), 0);
  EXPECT_EQ(canvas, (bytes{1, 0, 1, 0, 1, 0, 1, 0, 1, 1}));
  EXPECT_EQ(read_bitmap(stream.get(), header, nullptr, nullptr, false), -3);
}

TEST(bitmap_read, header_warnings_are_corrected_and_accepted) {
  const bytes good = bitmap_bytes(4, 2, 8, nullptr, bytes(8));
  bytes zero_length = good;
  write_le32(&zero_length[34], 0);
  read_result r = read_bytes(zero_length);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.output, "warning: check_bitmap_header() - data length is 0 ... corrected: 0x8\n");
  EXPECT_EQ(r.header.data_length, 8u);

  bytes both = zero_length;
  write_le32(&both[2], 1078 + 8 + 2);
  both.push_back(0);
  both.push_back(0);
  bitmap_header header;
  file_ptr stream = file_holding(both);
  int checked = 0;
  const std::string output =
      capture_stdout([&] { checked = read_bitmap_header(stream.get(), header); });
  EXPECT_EQ(checked, 2);
  EXPECT_EQ(output,
            "warning: check_bitmap_header() - data length is 0 ... corrected: 0x8\n"
            "warning: check_bitmap_header() - file length 0x440 > 0x43E\n");
}

// Headers the reader refuses, with the check's own line before the reader's.
TEST(bitmap_read, refused_headers) {
  struct refusal {
    const char* what;
    std::size_t offset;
    int width;  // 2 or 4 bytes
    std::uint32_t value;
    const char* message;
  };
  const std::string header_line = "error: read_bitmap() - can't read bitmap header\n";
  const refusal cases[] = {
      {"V4 info header", 14, 4, 108,
       "error: check_bitmap_header() - not supported header type - support only Windows V3\n"},
      {"V5 info header", 14, 4, 124,
       "error: check_bitmap_header() - not supported header type - support only Windows V3\n"},
      {"two planes", 26, 2, 2, ""},
      {"compressed", 30, 4, 1, "error: check_bitmap_header() - not support compression\n"},
      {"2 bits", 28, 2, 2, "error: check_bitmap_header() - unknown bit count\n"},
      {"short palette", 10, 4, 1078 - 64,
       "error: check_bitmap_header() - offset size 0x3F6 != 0x436\n"},
      {"data length", 34, 4, 9, "error: check_bitmap_header() - data length 0x9 != 0x8\n"},
      {"file length", 2, 4, 1085, "error: check_bitmap_header() - file length 0x43D < 0x43E\n"},
      {"top-down", 22, 4, 0xFFFFFFFE,
       "error: check_bitmap_header() - top-down bitmap (negative height) not supported\n"},
      {"huge", 18, 4, 0x80000000,
       "error: check_bitmap_header() - bitmap size 2147483648 x 2 too large\n"},
      {"magic", 0, 2, 0x4D43, ""},
  };
  const bytes good = bitmap_bytes(4, 2, 8, nullptr, bytes(8));
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.what);
    bytes file = good;
    if (c.width == 2) {
      write_le16(&file[c.offset], static_cast<std::uint16_t>(c.value));
    } else {
      write_le32(&file[c.offset], c.value);
    }
    const read_result r = read_bytes(file);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output, c.message + header_line);
    EXPECT_TRUE(r.canvas.empty());
  }
  EXPECT_EQ(read_bytes(bytes(good.begin(), good.begin() + 53)).output, header_line);
}

TEST(bitmap_read, truncated_files) {
  const bytes good = bitmap_bytes(4, 2, 8, nullptr, bytes(8));
  read_result r = read_bytes(bytes(good.begin(), good.end() - 1));
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.output, "error: read_bitmap() - can't read bitmap data\n");
  r = read_bytes(bytes(good.begin(), good.begin() + 60));
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.output, "error: read_bitmap() - can't read palette\n");

  // A consistent header claiming 2 GB of pixels is refused before the
  // canvas is allocated.
  bitmap_header header;
  init_bitmap_header(header, 32768, 65535, 8);
  file_ptr file = temporary_file();
  write_bitmap_header(file.get(), header);
  write_palette(file.get(), pattern_bytes(1024, 1).data(), 256);
  r = read_bytes(contents(file.get()));
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.output, "error: read_bitmap() - can't read bitmap data\n");
  EXPECT_TRUE(r.canvas.empty());
}

const bytes black_white = {0, 0, 0, 0, 255, 255, 255, 0};

// Converts one pixel and returns the output bytes.
bytes convert_one(int from, const bytes& from_palette, const bytes& pixel, int to,
                  const bytes& to_palette) {
  bytes out;
  EXPECT_EQ(convert_bit_count(1, 1, from, from_palette, pixel, to, to_palette, out), 0);
  return out;
}

TEST(bitmap_convert, nearest_colour_rules) {
  // A tie between two entries goes to the lower index.
  const bytes red_blue = {0, 0, 200, 0, 200, 0, 0, 0};
  EXPECT_EQ(nearest_color(100, 0, 100, red_blue.data(), 2), 0);
  EXPECT_EQ(nearest_color(128, 128, 128, black_white.data(), 2), 1);
  EXPECT_EQ(nearest_color(127, 127, 127, black_white.data(), 2), 0);
  EXPECT_EQ(nearest_color(1, 2, 3, black_white.data(), 0), 0);

  // A duplicate colour in the destination maps to its first index.
  bytes duplicated = pattern_bytes(64, 3);
  std::copy_n(duplicated.begin() + 8, 4, duplicated.begin() + 40);
  bytes canvas(16);
  for (int i = 0; i < 16; ++i) canvas[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  bytes out;
  ASSERT_EQ(convert_bit_count(16, 1, 4, duplicated, canvas, 4, duplicated, out), 0);
  bytes expected = canvas;
  expected[10] = 2;
  EXPECT_EQ(out, expected);
}

TEST(bitmap_convert, matches_by_colour_not_index) {
  // The same colours in reverse order come out with the destination's indexes.
  const bytes palette = pattern_bytes(64, 9);
  bytes reversed(64);
  for (int i = 0; i < 16; ++i) {
    std::copy_n(palette.begin() + 4 * i, 4, reversed.begin() + 4 * (15 - i));
  }
  bytes out;
  ASSERT_EQ(convert_bit_count(4, 1, 4, reversed, bytes{0, 5, 10, 15}, 4, palette, out), 0);
  EXPECT_EQ(out, (bytes{15, 10, 5, 0}));
  // A 1-bit source without a palette is black and white; a value beyond
  // the source palette counts as entry 0.
  ASSERT_EQ(convert_bit_count(3, 1, 1, {}, bytes{1, 0, 9}, 24, {}, out), 0);
  EXPECT_EQ(out, (bytes{255, 255, 255, 0, 0, 0, 0, 0, 0}));
}

TEST(bitmap_convert, direct_colour_packing) {
  EXPECT_EQ(convert_one(24, {}, bytes{0x10, 0x20, 0xF8}, 16, {}), (bytes{0x82, 0x7C}));
  EXPECT_EQ(convert_one(16, {}, bytes{0xFF, 0x7F}, 24, {}), (bytes{255, 255, 255}));
  EXPECT_EQ(convert_one(16, {}, bytes{0x00, 0x00}, 32, {}), (bytes{0, 0, 0, 0}));
  EXPECT_EQ(convert_one(24, {}, bytes{1, 2, 3}, 32, {}), (bytes{1, 2, 3, 0}));
  EXPECT_EQ(convert_one(32, {}, bytes{1, 2, 3, 4}, 24, {}), (bytes{1, 2, 3}));
  EXPECT_EQ(convert_one(32, {}, bytes{1, 2, 3, 4}, 32, {}), (bytes{1, 2, 3, 4}));
  EXPECT_EQ(convert_one(32, {}, bytes{200, 200, 200, 0}, 1, black_white), (bytes{1}));
  EXPECT_EQ(convert_one(1, black_white, bytes{1}, 16, {}), (bytes{0xFF, 0x7F}));
}

TEST(bitmap_convert, refusals) {
  bytes out;
  EXPECT_EQ(convert_bit_count(2, 2, 24, {}, bytes(12), 8, {}, out), -1);
  EXPECT_EQ(out, bytes(4, 0));  // allocated and zeroed before the refusal
  EXPECT_EQ(convert_bit_count(2, 2, 4, {}, bytes(4), 1, {}, out), -1);
  EXPECT_EQ(convert_bit_count(2, 2, 2, {}, bytes(4), 1, {}, out), -1);
  EXPECT_EQ(convert_bit_count(2, 2, 24, {}, bytes(11), 24, {}, out), -1);
  EXPECT_EQ(convert_bit_count(2, 2, 24, {}, std::span<const std::uint8_t>(), 24, {}, out), -1);
}

}  // namespace
