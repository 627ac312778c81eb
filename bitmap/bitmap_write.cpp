// Little-endian field access and BMP writing.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "bitmap/bitmap.h"

std::uint8_t* write_le32(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
  p[2] = static_cast<std::uint8_t>(value >> 16);
  p[3] = static_cast<std::uint8_t>(value >> 24);
  return p + 4;
}

std::uint8_t* write_le16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
  return p + 2;
}

std::uint32_t read_le32(const std::uint8_t* p, const std::uint8_t** cursor) {
  if (cursor != nullptr) *cursor = p + 4;
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t read_le16(const std::uint8_t* p, const std::uint8_t** cursor) {
  if (cursor != nullptr) *cursor = p + 2;
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

int bitmap_palette_entries(int bit_count) {
  switch (bit_count) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    case 16:
    case 24:
    case 32: return 0;
    default: return -1;
  }
}

int bitmap_pixel_bytes(int bit_count) { return bit_count <= 8 ? 1 : bit_count / 8; }

// Unpadded bytes of one stored row, before rounding up to 4.
static std::int64_t packed_row_bytes(std::int64_t width, int bit_count) {
  switch (bit_count) {
    case 1: return (width + 7) / 8;
    case 4: return (width + 1) / 2;
    case 8: return width;
    case 16: return 2 * width;
    case 24: return 3 * width;
    case 32: return 4 * width;
    default: return -1;
  }
}

int bitmap_row_length(int width, int bit_count) {
  if (width < 0) return -1;
  const std::int64_t n = packed_row_bytes(width, bit_count);
  if (n < 0) return -1;
  const std::int64_t rounded = (n + 3) & ~std::int64_t{3};
  // A length that an int cannot hold is as unusable as a bad bit count.
  return rounded > 0x7FFFFFFF ? -1 : static_cast<int>(rounded);
}

int init_bitmap_header(bitmap_header& header, std::uint32_t width, std::uint32_t height,
                       std::uint16_t bit_count) {
  header.reserved1 = 0;
  header.reserved2 = 0;
  header.header_size = 40;
  header.width = width;
  header.height = height;
  header.planes = 1;
  header.bit_count = bit_count;
  header.compression = 0;
  header.x_pixels_per_meter = 0;
  header.y_pixels_per_meter = 0;
  header.colors_used = 0;
  header.colors_important = 0;

  const int entries = bitmap_palette_entries(bit_count);
  if (entries < 0) return -1;
  const std::int64_t packed = packed_row_bytes(width, bit_count);
  const auto row = static_cast<std::uint32_t>((packed + 3) & ~std::int64_t{3});
  header.data_offset = static_cast<std::uint32_t>(bitmap_header_bytes + 4 * entries);
  header.data_length = row * height;
  header.file_length = header.data_length + header.data_offset;
  return 0;
}

// The 54 header bytes of `header`, "BM" first.
static std::array<std::uint8_t, bitmap_header_bytes> encode_bitmap_header(
    const bitmap_header& header) {
  std::array<std::uint8_t, bitmap_header_bytes> buffer{};
  std::uint8_t* p = buffer.data();
  *p++ = 'B';
  *p++ = 'M';
  p = write_le32(p, header.file_length);
  p = write_le16(p, header.reserved1);
  p = write_le16(p, header.reserved2);
  p = write_le32(p, header.data_offset);
  p = write_le32(p, header.header_size);
  p = write_le32(p, header.width);
  p = write_le32(p, header.height);
  p = write_le16(p, header.planes);
  p = write_le16(p, header.bit_count);
  p = write_le32(p, header.compression);
  p = write_le32(p, header.data_length);
  p = write_le32(p, header.x_pixels_per_meter);
  p = write_le32(p, header.y_pixels_per_meter);
  p = write_le32(p, header.colors_used);
  write_le32(p, header.colors_important);
  return buffer;
}

int write_bitmap_header(std::FILE* file, const bitmap_header& header) {
  const auto buffer = encode_bitmap_header(header);
  return std::fwrite(buffer.data(), buffer.size(), 1, file) == 1 ? 0 : -1;
}

int write_palette(std::FILE* file, const std::uint8_t* palette, int count) {
  if (count < 0 || count > 256) return -1;
  if (count == 0) return 0;
  std::array<std::uint8_t, 1024> buffer{};
  std::memcpy(buffer.data(), palette, static_cast<std::size_t>(count) * 4);
  return std::fwrite(buffer.data(), static_cast<std::size_t>(count) * 4, 1, file) == 1 ? 0 : -1;
}

// Packs one canvas row of 1- or 4-bit indices into its stored bytes, which
// are zero on entry (padding included).
static void pack_row(const std::uint8_t* row, std::uint32_t width, int bit_count,
                     std::uint8_t* stored) {
  if (bit_count == 1) {
    for (std::uint32_t x = 0; x < width; ++x) {
      if (row[x] != 0) stored[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  } else {
    for (std::uint32_t x = 0; x < width; ++x) {
      const int shift = (x % 2 == 0) ? 4 : 0;
      stored[x / 2] |= static_cast<std::uint8_t>((row[x] & 0x0F) << shift);
    }
  }
}

int encode_bitmap(const bitmap_header& header, const std::uint8_t* palette,
                  std::span<const std::uint8_t> canvas, std::vector<std::uint8_t>& file) {
  const int bit_count = header.bit_count;
  const int entries = bitmap_palette_entries(bit_count);
  if (entries < 0) return -1;
  // The canvas must hold every pixel the header promises, so a short canvas
  // is never read past its end.
  const int row_length = bitmap_row_length(static_cast<int>(header.width), bit_count);
  const std::uint64_t canvas_row =
      std::uint64_t{header.width} * static_cast<std::uint64_t>(bitmap_pixel_bytes(bit_count));
  if (header.width > 0x7FFFFFFF || row_length < 0 ||
      canvas_row * header.height > canvas.size()) {
    return -1;
  }
  // A zero-width bitmap has empty rows, however many the header claims.
  const std::uint32_t rows = row_length > 0 ? header.height : 0;
  const std::size_t palette_bytes = 4 * static_cast<std::size_t>(entries);
  try {
    file.assign(bitmap_header_bytes + palette_bytes + std::size_t{rows} * static_cast<std::size_t>(row_length), 0);
  } catch (const std::bad_alloc&) {
    std::printf("error: memory exhaust!\n");
    return -2;
  }

  const auto head = encode_bitmap_header(header);
  std::copy(head.begin(), head.end(), file.begin());
  // Without a palette an indexed bitmap gets all-black entries (zeros).
  if (palette != nullptr) std::memcpy(file.data() + bitmap_header_bytes, palette, palette_bytes);

  // Rows bottom-up: the last canvas row is the first stored row.
  std::uint8_t* stored = file.data() + bitmap_header_bytes + palette_bytes;
  for (std::uint32_t r = rows; r-- > 0; stored += row_length) {
    const std::uint8_t* row = canvas.data() + canvas_row * r;
    if (bit_count == 1 || bit_count == 4) {
      pack_row(row, header.width, bit_count, stored);
    } else if (canvas_row > 0) {
      std::memcpy(stored, row, canvas_row);
    }
  }
  return 0;
}

int write_bitmap(std::FILE* file, const bitmap_header& header, const std::uint8_t* palette,
                 std::span<const std::uint8_t> canvas) {
  std::vector<std::uint8_t> bytes;
  if (encode_bitmap(header, palette, canvas, bytes) < 0) return -1;
  const std::size_t palette_end =
      bitmap_header_bytes + 4 * static_cast<std::size_t>(bitmap_palette_entries(header.bit_count));
  if (std::fwrite(bytes.data(), bitmap_header_bytes, 1, file) != 1) {
    std::printf("error: write_bitmap() - can't write bitmap header\n");
    return -1;
  }
  if (palette_end > bitmap_header_bytes &&
      std::fwrite(bytes.data() + bitmap_header_bytes, palette_end - bitmap_header_bytes, 1, file) !=
          1) {
    std::printf("error: write_bitmap() - can't write palette\n");
    return -1;
  }
  if (bytes.size() > palette_end) {
    std::fwrite(bytes.data() + palette_end, bytes.size() - palette_end, 1, file);
  }
  // A full disk or a failing stream must not pass for a complete file.
  if (std::ferror(file) != 0 || std::fflush(file) != 0) {
    std::printf("error: write_bitmap() - can't write bitmap data\n");
    return -1;
  }
  return 0;
}
