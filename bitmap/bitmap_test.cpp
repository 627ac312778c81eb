#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "testing/testing.h"

namespace {

using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

file_ptr file_holding(const bytes& data) {
  file_ptr file(std::tmpfile(), &std::fclose);
  std::fwrite(data.data(), 1, data.size(), file.get());
  std::rewind(file.get());
  return file;
}

struct read_result {
  int result;
  std::string output;
  bitmap_header header;
  bytes palette, canvas;
};

read_result read_bytes(const bytes& data) {
  read_result r{};
  file_ptr file = file_holding(data);
  r.output = capture_stdout([&] { r.result = read_bitmap(file.get(), r.header, &r.palette, &r.canvas, false); });
  return r;
}

// The stored rows at the small widths where packing and padding differ.
TEST(bitmap_write, stored_rows_are_packed_padded_and_bottom_up) {
  // 1 bit, 10 wide, 2 rows: any nonzero byte is a set bit.
  bytes file = bitmap_file_bytes(10, 2, 1, {}, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF,  // top row
                                                    0, 2, 0, 0, 0, 0, 0, 0, 1, 0});  // stored first
  // File length 70, data offset 62, data length 8, a black palette.
  EXPECT_EQ(bytes(file.begin(), file.begin() + 14), (bytes{'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0}));
  EXPECT_EQ(read_le32(&file[34]), 8u);
  EXPECT_EQ(bytes(file.begin() + 54, file.end()), (bytes{0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x80, 0, 0, 0x80, 0x40, 0, 0}));
  // 4 bits, 3 wide: 16 * p0 + p1, 16 * p2, two padding bytes; high bits ignored.
  file = bitmap_file_bytes(3, 1, 4, {}, bytes{0x1F, 0x02, 0x03});
  EXPECT_EQ(bytes(file.begin() + 118, file.end()), (bytes{0xF2, 0x30, 0, 0}));
  // 24 bits, 1 wide: 3 bytes and 1 padding byte a row; no palette written.
  file = bitmap_file_bytes(1, 2, 24, {}, bytes{1, 2, 3, 4, 5, 6});
  EXPECT_EQ(bytes(file.begin() + 54, file.end()), (bytes{4, 5, 6, 0, 1, 2, 3, 0}));
  EXPECT_EQ(bitmap_file_bytes(5, 0, 8, {}, {}).size(), 1078u);  // header and palette only
  EXPECT_EQ(std::pair(bitmap_row_length(33, 1), bitmap_row_length(-1, 8)), std::pair(8, -1));
  EXPECT_EQ(std::pair(write_palette(nullptr, nullptr, 0), write_palette(nullptr, nullptr, 257)), std::pair(0, -1));

  // An unsupported bit count or a short canvas builds nothing.
  bitmap_header header;
  header.data_offset = 7;
  EXPECT_EQ(init_bitmap_header(header, 4, 4, 2), -1);
  EXPECT_EQ(header.data_offset, 7u);
  init_bitmap_header(header, 4, 4, 8);
  EXPECT_EQ(encode_bitmap(header, nullptr, bytes(15), file), -1);
  header.bit_count = 2;
  EXPECT_EQ(encode_bitmap(header, nullptr, bytes(16), file), -1);
}

// Write then read at every bit count, at widths on both sides of the padding.
TEST(bitmap_read, round_trip_at_every_bit_count) {
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    for (std::uint32_t width : {1u, 3u, 7u, 8u, 9u, 10u, 31u, 33u}) {
      const std::uint32_t height = 5;
      const auto pixel_bytes = static_cast<std::size_t>(bitmap_pixel_bytes(bits));
      bytes canvas = pattern_bytes(width * height * pixel_bytes, width * 100 + static_cast<unsigned>(bits));
      for (auto& b : canvas) b &= bits == 1 ? 1 : bits == 4 ? 0x0F : 0xFF;
      const bytes palette = pattern_bytes(1024, 7);
      file_ptr file(std::tmpfile(), &std::fclose);
      bitmap_header header;
      init_bitmap_header(header, width, height, static_cast<std::uint16_t>(bits));
      ASSERT_EQ(write_bitmap(file.get(), header, palette.data(), canvas), 0);
      std::rewind(file.get());
      SCOPED_TRACE("bits " + std::to_string(bits) + " width " + std::to_string(width));
      bytes read_palette, read_canvas;
      ASSERT_EQ(read_bitmap(file.get(), header, &read_palette, &read_canvas, false), 0);
      EXPECT_EQ(read_canvas, canvas);
      EXPECT_EQ(read_palette, bytes(palette.begin(), palette.begin() + (bits <= 8 ? 4 << bits : 0)));
    }
  }
}

// Padding bits are ignored; a zero data length is corrected and a file
// longer than its data accepted, each with a warning.
TEST(bitmap_read, odd_but_readable_files) {
  bytes file = bitmap_file_bytes(10, 1, 1, {}, bytes{1, 0, 1, 0, 1, 0, 1, 0, 1, 1});
  file[62 + 1] |= 0x3F;  // bits past the 10th pixel
  file[62 + 2] = 0xAA;
  file[62 + 3] = 0x55;
  write_le32(&file[34], 0);       // data length 0
  write_le32(&file[2], 72);  // six bytes more than needed
  file.resize(72);
  const read_result r = read_bytes(file);
  EXPECT_EQ(std::tuple(r.result, r.output, r.canvas, r.header.data_length),
            std::tuple(0, "warning: check_bitmap_header() - data length is 0 ... corrected: 0x4\n"
                       "warning: check_bitmap_header() - file length 0x48 > 0x42\n", bytes{1, 0, 1, 0, 1, 0, 1, 0, 1, 1}, 4u));
  file_ptr stream = file_holding(file);
  bitmap_header header;
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(read_bitmap_header(stream.get(), header), 2); }), r.output);
  bytes canvas;
  EXPECT_EQ(read_bitmap(stream.get(), header, nullptr, &canvas, true), 0);  // palette skipped
  EXPECT_EQ(canvas, r.canvas);
  EXPECT_EQ(read_bitmap(stream.get(), header, nullptr, nullptr, false), -3);
}

// Files the reader refuses: a header field changed (2 or 4 bytes at
// `offset`), or the file cut to `value` bytes (`width` 0).
TEST(bitmap_read, refused_files) {
  const std::string header_line = "error: read_bitmap() - can't read bitmap header\n";
  const std::string check = "error: check_bitmap_header() - ";
  const std::string data_line = "error: read_bitmap() - can't read bitmap data\n";
  const struct {
    std::size_t offset; int width; std::uint32_t value; std::string output;
  } cases[] = {
      {14, 4, 108, check + "not supported header type - support only Windows V3\n" + header_line},
      {26, 2, 2, header_line},  // two planes
      {30, 4, 1, check + "not support compression\n" + header_line},
      {28, 2, 2, check + "unknown bit count\n" + header_line},
      {10, 4, 1078 - 64, check + "offset size 0x3F6 != 0x436\n" + header_line},
      {34, 4, 9, check + "data length 0x9 != 0x8\n" + header_line},
      {2, 4, 1085, check + "file length 0x43D < 0x43E\n" + header_line},
      {22, 4, 0xFFFFFFFE, check + "top-down bitmap (negative height) not supported\n" + header_line},
      {22, 4, 0x80000000, check + "top-down bitmap (negative height) not supported\n" + header_line},
      {18, 4, 0x80000000, check + "bitmap size 2147483648 x 2 too large\n" + header_line},
      {18, 4, 0x7FFFFFFF, check + "bitmap size 2147483647 x 2 too large\n" + header_line},
      {0, 2, 0x4D43, header_line}, {0, 2, 0x4142, header_line},  // "CM", "BA"
      {0, 0, 53, header_line}, {0, 0, 60, "error: read_bitmap() - can't read palette\n"},
      {0, 0, 1085, data_line},
  };
  const bytes good = bitmap_file_bytes(4, 2, 8, {}, bytes(8));
  for (const auto& c : cases) {
    bytes file = good;
    if (c.width == 0) file.resize(c.value);
    if (c.width == 2) write_le16(&file[c.offset], static_cast<std::uint16_t>(c.value));
    if (c.width == 4) write_le32(&file[c.offset], c.value);
    const read_result r = read_bytes(file);
    EXPECT_EQ(std::tuple(r.result, r.output, r.canvas), std::tuple(-1, c.output, bytes{}));
  }
  // A consistent header claiming 2 GB of pixels is refused before the
  // canvas is allocated.
  bytes huge = bitmap_file_bytes(32768, 0, 8, pattern_bytes(1024, 1), {});
  write_le32(&huge[22], 65535);
  write_le32(&huge[34], 32768u * 65535);
  write_le32(&huge[2], 32768u * 65535 + 1078);
  const read_result r = read_bytes(huge);
  EXPECT_EQ(std::pair(r.output, r.canvas), std::pair(data_line, bytes{}));
}

// Blue, green, red, 0 entries.
const bytes black_white = {0, 0, 0, 0, 255, 255, 255, 0};
const bytes red_blue = {0, 0, 200, 0, 200, 0, 0, 0};

TEST(bitmap_convert, one_pixel_each_way) {
  const struct {
    int from; bytes from_palette, pixel; int to; bytes to_palette, out;
  } cases[] = {
      {24, {}, {0x10, 0x20, 0xF8}, 16, {}, {0x82, 0x7C}}, {16, {}, {0xFF, 0x7F}, 24, {}, {255, 255, 255}},
      {16, {}, {0x21, 0x04}, 24, {}, {8, 8, 8}},  // 5-bit 1 widens to 8
      {16, {}, {0x00, 0x00}, 32, {}, {0, 0, 0, 0}}, {24, {}, {1, 2, 3}, 32, {}, {1, 2, 3, 0}},
      {32, {}, {1, 2, 3, 4}, 24, {}, {1, 2, 3}}, {32, {}, {1, 2, 3, 4}, 32, {}, {1, 2, 3, 4}},
      {32, {}, {200, 200, 200, 0}, 1, black_white, {1}}, {1, black_white, {1}, 16, {}, {0xFF, 0x7F}},
      {1, {}, {1}, 24, {}, {255, 255, 255}},  // no palette: black and white
      {1, {}, {9}, 24, {}, {0, 0, 0}},        // beyond the palette: entry 0
      {24, {}, {100, 0, 100}, 1, red_blue, {0}},  // a tie: the lower index
      {24, {}, {128, 128, 128}, 1, black_white, {1}}, {24, {}, {127, 127, 127}, 1, black_white, {0}},
      {24, {}, {0, 0, 0}, 1, {1, 0, 0, 0, 0, 0, 0, 0}, {1}},  // exact beats distance 1
  };
  for (const auto& c : cases) {
    bytes out;
    ASSERT_EQ(convert_bit_count(1, 1, c.from, c.from_palette, c.pixel, c.to, c.to_palette, out), 0);
    EXPECT_EQ(out, c.out) << c.from << " to " << c.to;
  }
  EXPECT_EQ(nearest_color(1, 2, 3, black_white.data(), 0), 0);
}

TEST(bitmap_convert, refusals) {
  bytes out;
  EXPECT_EQ(convert_bit_count(2, 2, 24, {}, bytes(12), 8, {}, out), -1);
  EXPECT_EQ(out, bytes(4, 0));  // allocated and zeroed before the refusal
  // No palette for 4 bits, 2 bits, a short source, a negative height, none.
  for (const auto& [bits, source, height] : {std::tuple(4, 4, 2), std::tuple(2, 4, 2), std::tuple(24, 11, 2),
                                             std::tuple(24, 12, -1), std::tuple(24, 0, 2)}) {
    const bytes in(static_cast<std::size_t>(source));
    EXPECT_EQ(convert_bit_count(2, height, bits, {}, source ? std::span(in) : std::span<const std::uint8_t>(),
                                bits == 24 ? 24 : 1, {}, out), -1) << bits << " " << source;
  }
  // An unknown destination bit count is refused, and a canvas larger than
  // memory can ever hold is no memory: neither ends the run.
  const bytes in(12);
  const struct {
    int size, bits, result; const char* message;
  } cases[] = {{2, -100, -1, ""}, {INT_MAX, 32, -2, "error: memory exhaust!\n"}};
  for (const auto& c : cases) {
    EXPECT_EQ(result_and_output([&] { return convert_bit_count(c.size, c.size, 24, {}, in, c.bits, {}, out); }),
              std::pair(c.result, std::string(c.message)));
  }
}

}  // namespace
