// PNG files for the tests and fuzz seeds, made and read with libpng itself
// (not through the product's PNG code), and the chunk surgery that damages
// them: a PNG is an 8-byte signature, then chunks of a big-endian length,
// a 4-letter type, the data and a CRC-32 of type and data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "testing/testing.h"

// A PNG image as stored: its IHDR fields, its PLTE entries and one value
// per sample, rows top first, a pixel's samples in file order (grey; red,
// green, blue; a palette index; alpha last).
struct png_picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int color_type = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
  int bit_depth = 8;
  bool interlaced = false;
  bytes palette;  // red, green, blue an entry
  std::vector<std::uint16_t> samples;
  bool has_trns = false;  // read: the file has a tRNS chunk
};

// Every colour type and bit depth PNG allows, as (colour type, bit depth).
inline constexpr std::pair<int, int> png_kinds[] = {
    {0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {3, 1}, {3, 2}, {3, 4},
    {3, 8}, {4, 8}, {4, 16}, {2, 8}, {2, 16}, {6, 8}, {6, 16}};

// Samples a pixel of colour type `color_type` has.
int png_channels(int color_type);

// A whole PNG of `picture`. With `ancillary` it also holds a gAMA chunk
// (gamma 1.0) and, where the colour type allows one, a tRNS chunk that
// makes the first pixel's colour (every palette entry) fully transparent.
bytes png_file_bytes(const png_picture& picture, bool ancillary = false);

// A `width` x `height` picture of colour type `color_type` and `bit_depth`
// with pseudo-random samples (and palette), and in `colours` the 24-bit
// canvas (blue, green, red) of the colours they stand for: a grey level g
// of n bits as g * 255 / (2^n - 1); a 16-bit sample (always 257 v + d,
// |d| <= 100) as v; a palette index as its entry; alpha ignored.
png_picture random_png(int color_type, int bit_depth, std::uint32_t width, std::uint32_t height,
                       std::uint32_t seed, bytes& colours);

// Reads a PNG as stored (samples unpacked, nothing converted); a failure
// fails the calling test.
png_picture load_png(const std::filesystem::path& path);

// Checks that the PNG at `png` holds the picture of the indexed BMP at
// `bmp`: the same size and bit count, the same pixels as palette indices,
// the BMP's palette colours in order, not interlaced and without tRNS.
void expect_png_of_bitmap(const std::filesystem::path& png, const std::filesystem::path& bmp);

// Offset of the first chunk of `type` (its length field), or 0 for none.
std::size_t find_png_chunk(const bytes& file, const std::string& type);

// Writes `width` and `height` into the IHDR chunk (which must be whole),
// leaving its CRC as it was.
void set_png_size(bytes& file, std::uint32_t width, std::uint32_t height);

// Sets the CRC of every whole chunk to match its type and data.
void fix_png_crcs(bytes& file);
