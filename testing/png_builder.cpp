#include "testing/png_builder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <tuple>

namespace {

// Bytes of one stored row of `picture`.
std::size_t row_bytes(const png_picture& picture) {
  const std::size_t bits =
      std::size_t{picture.width} *
      static_cast<std::size_t>(png_channels(picture.color_type) * picture.bit_depth);
  return (bits + 7) / 8;
}

void append_png(png_structp png, png_bytep data, std::size_t length) {
  auto* file = static_cast<bytes*>(png_get_io_ptr(png));
  file->insert(file->end(), data, data + length);
}

void flush_nothing(png_structp) {}

std::uint32_t read_be32(const bytes& file, std::size_t at) {
  return std::uint32_t{file[at]} << 24 | std::uint32_t{file[at + 1]} << 16 |
         std::uint32_t{file[at + 2]} << 8 | file[at + 3];
}

// Calls `body(offset, length)` for each whole chunk after the signature.
template <typename Body>
void for_each_chunk(const bytes& file, Body body) {
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::size_t length = read_be32(file, at);
    if (length > file.size() - at - 12) return;
    body(at, length);
    at += 12 + length;
  }
}

}  // namespace

int png_channels(int color_type) {
  return color_type == 2 ? 3 : color_type == 4 ? 2 : color_type == 6 ? 4 : 1;
}

png_picture random_png(int color_type, int bit_depth, std::uint32_t width, std::uint32_t height,
                       std::uint32_t seed, bytes& colours) {
  png_picture png;
  png.width = width, png.height = height, png.color_type = color_type, png.bit_depth = bit_depth;
  const auto channels = static_cast<std::size_t>(png_channels(color_type));
  const std::size_t pixels = std::size_t{width} * height;
  const bytes random = pattern_bytes(pixels * channels * 2 + 768, seed);
  if (color_type == 3) png.palette.assign(random.end() - (3 << bit_depth), random.end());
  const int levels = (1 << bit_depth) - 1;
  colours.clear();
  for (std::size_t p = 0; p < pixels; ++p) {
    std::uint8_t colour[3] = {};
    for (std::size_t c = 0; c < channels; ++c) {
      const std::uint8_t* r = &random[2 * (p * channels + c)];
      int sample = r[0];
      int value = r[0];  // the 8-bit value the sample stands for
      if (bit_depth < 8) {
        sample = r[0] % (levels + 1);
        value = sample * 255 / levels;
      } else if (bit_depth == 16) {
        const int d = r[1] % 101;
        sample = value * 257 + (value < 128 ? d : -d);
      }
      png.samples.push_back(static_cast<std::uint16_t>(sample));
      if (c < 3) colour[c] = static_cast<std::uint8_t>(value);
    }
    if (color_type == 3) std::copy_n(&png.palette[png.samples.back() * 3u], 3, colour);
    if (color_type == 0 || color_type == 4) colour[1] = colour[2] = colour[0];
    colours.insert(colours.end(), {colour[2], colour[1], colour[0]});
  }
  return png;
}

bytes png_file_bytes(const png_picture& picture, bool ancillary) {
  // Stored rows: samples packed high bits first, 16-bit ones big-endian.
  const std::size_t row_length = row_bytes(picture);
  const std::size_t per_row =
      std::size_t{picture.width} * static_cast<std::size_t>(png_channels(picture.color_type));
  std::vector<bytes> rows(picture.height, bytes(row_length, 0));
  std::vector<png_bytep> row_pointers;
  for (std::size_t y = 0; y < rows.size(); ++y) {
    for (std::size_t i = 0; i < per_row; ++i) {
      const unsigned value = picture.samples.at(y * per_row + i);
      const auto depth = static_cast<std::size_t>(picture.bit_depth);
      if (depth == 16) {
        rows[y][2 * i] = static_cast<std::uint8_t>(value >> 8);
        rows[y][2 * i + 1] = static_cast<std::uint8_t>(value);
      } else {
        const std::size_t bit = i * depth;
        rows[y][bit / 8] |= static_cast<std::uint8_t>(value << (8 - depth - bit % 8));
      }
    }
    row_pointers.push_back(rows[y].data());
  }
  std::vector<png_color> colours;
  for (std::size_t i = 0; i + 2 < picture.palette.size(); i += 3) {
    colours.push_back({picture.palette[i], picture.palette[i + 1], picture.palette[i + 2]});
  }
  const bytes transparent(colours.size(), 0);
  png_color_16 first{};  // the first pixel's colour, for tRNS
  if (!picture.samples.empty()) first.gray = first.red = picture.samples[0];
  if (picture.color_type == 2) {
    first.green = picture.samples[1];
    first.blue = picture.samples[2];
  }

  bytes file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) != 0) {
    ADD_FAILURE() << "libpng could not write the PNG";
  } else {
    png_set_write_fn(png, &file, append_png, flush_nothing);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, picture.width, picture.height, picture.bit_depth, picture.color_type,
                 picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!colours.empty()) png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
    if (ancillary) {
      png_set_gAMA_fixed(png, info, 100000);
      if (picture.color_type == 3) {
        png_set_tRNS(png, info, transparent.data(), static_cast<int>(transparent.size()), nullptr);
      } else if (picture.color_type == 0 || picture.color_type == 2) {
        png_set_tRNS(png, info, nullptr, 0, &first);
      }
    }
    png_set_rows(png, info, row_pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  return file;
}

png_picture load_png(const std::filesystem::path& path) {
  png_picture picture;
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.string().c_str(), "rb"),
                                                          &std::fclose);
  if (!file) {
    ADD_FAILURE() << "cannot open " << path;
    return picture;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<bytes> rows;
  std::vector<png_bytep> row_pointers;
  if (setjmp(png_jmpbuf(png)) != 0) {
    ADD_FAILURE() << "libpng could not read " << path;
  } else {
    png_init_io(png, file.get());
    png_read_info(png, info);
    picture.width = png_get_image_width(png, info);
    picture.height = png_get_image_height(png, info);
    picture.color_type = png_get_color_type(png, info);
    picture.bit_depth = png_get_bit_depth(png, info);
    picture.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    picture.has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_colorp colours = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &colours, &count) != 0) {
      for (int i = 0; i < count; ++i) {
        picture.palette.insert(picture.palette.end(),
                               {colours[i].red, colours[i].green, colours[i].blue});
      }
    }
    png_set_packing(png);  // one byte a sample below 8 bits
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    rows.assign(picture.height, bytes(png_get_rowbytes(png, info)));
    for (bytes& row : rows) row_pointers.push_back(row.data());
    png_read_image(png, row_pointers.data());
    png_read_end(png, nullptr);
    const std::size_t per_row =
        std::size_t{picture.width} * static_cast<std::size_t>(png_channels(picture.color_type));
    for (const bytes& row : rows) {
      for (std::size_t i = 0; i < per_row; ++i) {
        picture.samples.push_back(picture.bit_depth == 16
                                      ? static_cast<std::uint16_t>(row[2 * i] << 8 | row[2 * i + 1])
                                      : row[i]);
      }
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return picture;
}

void expect_png_of_bitmap(const std::filesystem::path& png, const std::filesystem::path& bmp) {
  const bitmap_image bitmap = load_bitmap(bmp);
  const png_picture picture = load_png(png);
  bytes colours;  // the BMP palette as PLTE entries: red, green, blue
  for (std::size_t i = 0; i + 3 < bitmap.palette.size(); i += 4) {
    colours.insert(colours.end(), {bitmap.palette[i + 2], bitmap.palette[i + 1], bitmap.palette[i]});
  }
  EXPECT_EQ(std::tuple(picture.width, picture.height, picture.color_type, picture.bit_depth,
                       picture.interlaced, picture.has_trns),
            std::tuple(bitmap.header.width, bitmap.header.height, 3, int{bitmap.header.bit_count},
                       false, false))
      << png;
  EXPECT_EQ(picture.palette, colours) << png;
  EXPECT_EQ(picture.samples, std::vector<std::uint16_t>(bitmap.canvas.begin(), bitmap.canvas.end()))
      << png;
}

std::size_t find_png_chunk(const bytes& file, const std::string& type) {
  std::size_t found = 0;
  for_each_chunk(file, [&](std::size_t at, std::size_t) {
    const auto name = file.begin() + static_cast<std::ptrdiff_t>(at + 4);
    if (found == 0 && std::equal(type.begin(), type.end(), name)) found = at;
  });
  return found;
}

void set_png_size(bytes& file, std::uint32_t width, std::uint32_t height) {
  const std::size_t ihdr = find_png_chunk(file, "IHDR");
  for (std::size_t i = 0; i < 4; ++i) {  // big-endian, width first
    file.at(ihdr + 8 + i) = static_cast<std::uint8_t>(width >> (24 - 8 * i));
    file.at(ihdr + 12 + i) = static_cast<std::uint8_t>(height >> (24 - 8 * i));
  }
}

void fix_png_crcs(bytes& file) {
  for_each_chunk(file, [&](std::size_t at, std::size_t length) {
    const auto crc = crc32(0, &file[at + 4], static_cast<uInt>(length + 4));
    for (std::size_t i = 0; i < 4; ++i) {
      file[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    }
  });
}
