// BMP header validation and reading into a pixel canvas.
#include <algorithm>
#include <array>
#include <limits>
#include <new>

#include "bitmap/bitmap.h"

int check_bitmap_header(bitmap_header& header) {
  if (header.header_size != 40) {
    std::printf("error: check_bitmap_header() - not supported header type - support only Windows V3\n");
    return -1;
  }
  if (header.planes != 1) return -1;
  if (header.compression != 0) {
    std::printf("error: check_bitmap_header() - not support compression\n");
    return -1;
  }
  const int entries = bitmap_palette_entries(header.bit_count);
  if (entries < 0) {
    std::printf("error: check_bitmap_header() - unknown bit count\n");
    return -1;
  }
  // A negative height marks a top-down file, a layout this library never
  // writes; it and sizes whose byte counts overflow 32 bits are refused here,
  // before a reader allocates anything from them.
  if (header.height > 0x7FFFFFFFu) {
    std::printf("error: check_bitmap_header() - top-down bitmap (negative height) not supported\n");
    return -1;
  }
  constexpr std::uint64_t limit = std::numeric_limits<std::uint32_t>::max();
  const std::uint64_t palette_bytes = 4 * static_cast<std::uint64_t>(entries);
  const std::uint64_t offset = bitmap_header_bytes + palette_bytes;
  const int row_length = header.width > 0x7FFFFFFFu
                             ? -1
                             : bitmap_row_length(static_cast<int>(header.width), header.bit_count);
  const std::uint64_t pixels = std::uint64_t{header.width} * header.height *
                               static_cast<std::uint64_t>(bitmap_pixel_bytes(header.bit_count));
  const std::uint64_t data = static_cast<std::uint64_t>(row_length) * header.height;
  if (row_length < 0 || pixels > limit || data + offset > limit) {
    std::printf("error: check_bitmap_header() - bitmap size %u x %u too large\n", header.width,
                header.height);
    return -1;
  }
  const auto o = static_cast<std::uint32_t>(offset);
  const auto d = static_cast<std::uint32_t>(data);
  const std::uint32_t f = d + o;

  if (header.data_offset != o) {
    std::printf("error: check_bitmap_header() - offset size 0x%X != 0x%X\n", header.data_offset, o);
    return -1;
  }
  int warnings = 0;
  if (header.data_length == 0) {
    header.data_length = d;
    std::printf("warning: check_bitmap_header() - data length is 0 ... corrected: 0x%X\n", d);
    ++warnings;
  }
  if (header.data_length != d) {
    std::printf("error: check_bitmap_header() - data length 0x%X != 0x%X\n", header.data_length, d);
    return -1;
  }
  if (header.file_length > f) {
    std::printf("warning: check_bitmap_header() - file length 0x%X > 0x%X\n", header.file_length, f);
    return warnings + 1;
  }
  if (header.file_length < f) {
    std::printf("error: check_bitmap_header() - file length 0x%X < 0x%X\n", header.file_length, f);
    return -1;
  }
  return warnings;
}

int read_bitmap_header(std::FILE* file, bitmap_header& header) {
  std::array<std::uint8_t, bitmap_header_bytes> buffer{};
  if (std::fread(buffer.data(), buffer.size(), 1, file) != 1) return -1;
  if (buffer[0] != 'B' || buffer[1] != 'M') return -1;
  const std::uint8_t* p = buffer.data() + 2;
  header.file_length = read_le32(p, &p);
  header.reserved1 = read_le16(p, &p);
  header.reserved2 = read_le16(p, &p);
  header.data_offset = read_le32(p, &p);
  header.header_size = read_le32(p, &p);
  header.width = read_le32(p, &p);
  header.height = read_le32(p, &p);
  header.planes = read_le16(p, &p);
  header.bit_count = read_le16(p, &p);
  header.compression = read_le32(p, &p);
  header.data_length = read_le32(p, &p);
  header.x_pixels_per_meter = read_le32(p, &p);
  header.y_pixels_per_meter = read_le32(p, &p);
  header.colors_used = read_le32(p, &p);
  header.colors_important = read_le32(p, &p);
  return check_bitmap_header(header);
}

int read_palette(std::FILE* file, std::uint8_t* palette, int count) {
  if (count < 0 || count > 256) return -1;
  if (count == 0) return 0;
  std::array<std::uint8_t, 1024> buffer{};
  const std::size_t length = static_cast<std::size_t>(count) * 4;
  if (std::fread(buffer.data(), length, 1, file) != 1) return -1;
  std::copy_n(buffer.data(), length, palette);
  return 0;
}

// Bytes left between the current position and the end of the file, or -1
// when the stream cannot tell (a pipe).
static long remaining_bytes(std::FILE* file) {
  const long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(file);
  if (std::fseek(file, here, SEEK_SET) != 0 || end < here) return -1;
  return end - here;
}

// Unpacks one stored row into canvas pixels.
static void unpack_row(const std::uint8_t* stored, std::uint8_t* row, std::uint32_t width,
                       int bit_count) {
  if (bit_count == 1) {
    for (std::uint32_t x = 0; x < width; ++x) row[x] = (stored[x / 8] >> (7 - x % 8)) & 1;
  } else if (bit_count == 4) {
    for (std::uint32_t x = 0; x < width; ++x) {
      row[x] = (x % 2 == 0) ? stored[x / 2] >> 4 : stored[x / 2] & 0x0F;
    }
  } else {
    std::copy_n(stored, std::size_t{width} * static_cast<std::size_t>(bit_count / 8), row);
  }
}

// read_bitmap after the header: the palette, then the pixel rows into
// `canvas`, or with no canvas through to their end, kept nowhere.
static int read_bitmap_data(std::FILE* file, const bitmap_header& header,
                            std::vector<std::uint8_t>* palette,
                            std::vector<std::uint8_t>* canvas) {
  const int entries = bitmap_palette_entries(header.bit_count);
  const int row_length = header.width > 0x7FFFFFFFu
                             ? -1
                             : bitmap_row_length(static_cast<int>(header.width), header.bit_count);
  if (entries < 0 || row_length < 0) {
    std::printf("error: read_bitmap() - can't read bitmap header\n");
    return -1;
  }
  try {
    if (entries > 0) {
      if (palette == nullptr) {
        std::fseek(file, 4L * entries, SEEK_CUR);
      } else {
        palette->resize(static_cast<std::size_t>(entries) * 4);
        if (read_palette(file, palette->data(), entries) != 0) {
          std::printf("error: read_bitmap() - can't read palette\n");
          return -1;
        }
      }
    }

    // A header may promise far more rows than the file holds; such a file is
    // refused before its canvas is allocated.
    const std::uint64_t data_bytes = static_cast<std::uint64_t>(row_length) * header.height;
    const long left = remaining_bytes(file);
    if (left >= 0 && static_cast<std::uint64_t>(left) < data_bytes) {
      std::printf("error: read_bitmap() - can't read bitmap data\n");
      return -1;
    }
    if (canvas == nullptr) {
      // A file of known length holds it all; a stream is read to its end.
      std::array<std::uint8_t, 16384> chunk{};
      for (std::uint64_t rest = left >= 0 ? 0 : data_bytes; rest > 0;) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(rest, chunk.size()));
        if (std::fread(chunk.data(), 1, count, file) != count) {
          std::printf("error: read_bitmap() - can't read bitmap data\n");
          return -1;
        }
        rest -= count;
      }
      return 0;
    }
    const std::size_t canvas_row =
        std::size_t{header.width} * static_cast<std::size_t>(bitmap_pixel_bytes(header.bit_count));
    canvas->resize(canvas_row * header.height);
    // No rows, no row buffer: a zero height must not let a huge width allocate.
    std::vector<std::uint8_t> stored(header.height > 0 ? static_cast<std::size_t>(row_length) : 0);

    // The file stores the bottom row first. Rows of a zero-width bitmap hold
    // nothing, however many the header claims.
    for (std::uint32_t r = row_length > 0 ? header.height : 0; r-- > 0;) {
      if (std::fread(stored.data(), stored.size(), 1, file) != 1) {
        std::printf("error: read_bitmap() - can't read bitmap data\n");
        return -1;
      }
      unpack_row(stored.data(), canvas->data() + canvas_row * r, header.width, header.bit_count);
    }
  } catch (const std::bad_alloc&) {
    std::printf("error: memory exhaust!\n");
    return -2;
  }
  return 0;
}

int read_bitmap(std::FILE* file, bitmap_header& header, std::vector<std::uint8_t>* palette,
                std::vector<std::uint8_t>* canvas, bool header_already_read) {
  if (canvas == nullptr) return -3;
  if (!header_already_read && read_bitmap_header(file, header) < 0) {
    std::printf("error: read_bitmap() - can't read bitmap header\n");
    return -1;
  }
  return read_bitmap_data(file, header, palette, canvas);
}

int read_bitmap_within(std::FILE* file, bitmap_header& header, std::vector<std::uint8_t>* palette,
                       std::vector<std::uint8_t>* canvas, std::uint32_t max_width,
                       std::uint32_t max_height) {
  if (canvas == nullptr) return -3;
  if (read_bitmap_header(file, header) < 0) {
    std::printf("error: read_bitmap() - can't read bitmap header\n");
    return -1;
  }
  const bool fits = header.width <= max_width && header.height <= max_height;
  const int result = read_bitmap_data(file, header, palette, fits ? canvas : nullptr);
  return result < 0 || fits ? result : 1;
}
