// Conversion between bit counts by nearest colour.
#include <algorithm>
#include <array>
#include <new>

#include "bitmap/bitmap.h"

// Black and white, used for a 1-bit side that has no palette of its own.
static constexpr std::array<std::uint8_t, 8> two_color_palette = {0, 0, 0, 0, 255, 255, 255, 0};

int nearest_color(int red, int green, int blue, const std::uint8_t* palette, int count) {
  int best = 0;
  int best_distance = 0x30000;  // above the largest distance, 3 * 255 * 255
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* entry = palette + 4 * i;
    const int db = entry[0] - blue;
    const int dg = entry[1] - green;
    const int dr = entry[2] - red;
    const int distance = db * db + dg * dg + dr * dr;
    if (distance == 0) return i;
    if (distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  return best;
}

namespace {

// One side of a conversion: its bit count, palette entries (0 for direct
// colour) and the palette in use.
struct canvas_side {
  int bits = 0;
  int entries = 0;
  const std::uint8_t* palette = nullptr;
};

// Resolves a side's palette; false for an unsupported bit count or an
// indexed side without a usable palette.
bool resolve_side(int bits, std::span<const std::uint8_t> palette, canvas_side& side) {
  side.bits = bits;
  side.entries = bitmap_palette_entries(bits);
  if (side.entries < 0) return false;
  if (side.entries == 0) return true;
  if (palette.empty() && bits == 1) {
    side.palette = two_color_palette.data();
    return true;
  }
  if (palette.size() < static_cast<std::size_t>(side.entries) * 4) return false;
  side.palette = palette.data();
  return true;
}

struct bgr {
  int blue, green, red;
};

// Widens a 5-bit channel so that 0 stays 0 and 31 becomes 255.
int widen5(int x) { return (x << 3) | (x >> 2); }

bgr read_direct(const std::uint8_t* p, int bits) {
  if (bits == 16) {
    const int v = p[0] | p[1] << 8;
    return {widen5(v & 0x1F), widen5((v >> 5) & 0x1F), widen5((v >> 10) & 0x1F)};
  }
  return {p[0], p[1], p[2]};
}

void write_direct(std::uint8_t* p, int bits, bgr c) {
  if (bits == 16) {
    const int v = (c.red >> 3) << 10 | (c.green >> 3) << 5 | (c.blue >> 3);
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    return;
  }
  p[0] = static_cast<std::uint8_t>(c.blue);
  p[1] = static_cast<std::uint8_t>(c.green);
  p[2] = static_cast<std::uint8_t>(c.red);
  if (bits == 32) p[3] = 0;
}

}  // namespace

int convert_bit_count(int width, int height, int source_bits,
                      std::span<const std::uint8_t> source_palette,
                      std::span<const std::uint8_t> source, int destination_bits,
                      std::span<const std::uint8_t> destination_palette,
                      std::vector<std::uint8_t>& destination) {
  if (source.data() == nullptr || width < 0 || height < 0) return -1;
  // A bit count without a canvas layout has no output size to allocate.
  if (bitmap_palette_entries(destination_bits) < 0) return -1;
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const auto out_bytes = static_cast<std::size_t>(bitmap_pixel_bytes(destination_bits));
  try {
    // A size beyond what a vector can hold fails as no memory does.
    if (pixels > destination.max_size() / out_bytes) throw std::bad_alloc();
    destination.assign(pixels * out_bytes, 0);
  } catch (const std::bad_alloc&) {
    std::printf("error: memory exhaust!\n");
    return -2;
  }

  canvas_side from;
  canvas_side to;
  if (!resolve_side(source_bits, source_palette, from)) return -1;
  if (!resolve_side(destination_bits, destination_palette, to)) return -1;
  const auto in_step = static_cast<std::size_t>(bitmap_pixel_bytes(from.bits));
  const auto out_step = static_cast<std::size_t>(bitmap_pixel_bytes(to.bits));
  if (source.size() < pixels * in_step) return -1;

  if (from.entries > 0) {
    // Every source index, looked up once. Values beyond the source palette
    // (which a canvas read from a file never holds) count as entry 0.
    std::array<std::uint8_t, 256> table{};
    std::array<bgr, 256> colors{};
    for (int i = 0; i < 256; ++i) {
      const std::uint8_t* entry = from.palette + 4 * (i < from.entries ? i : 0);
      colors[static_cast<std::size_t>(i)] = {entry[0], entry[1], entry[2]};
      if (to.entries > 0) {
        table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(
            nearest_color(entry[2], entry[1], entry[0], to.palette, to.entries));
      }
    }
    for (std::size_t i = 0; i < pixels; ++i) {
      const std::uint8_t index = source[i];
      if (to.entries > 0) {
        destination[i] = table[index];
      } else {
        write_direct(&destination[i * out_step], to.bits, colors[index]);
      }
    }
    return 0;
  }

  if (from.bits == to.bits) {
    std::copy_n(source.begin(), pixels * in_step, destination.begin());
    return 0;
  }
  for (std::size_t i = 0; i < pixels; ++i) {
    const bgr c = read_direct(&source[i * in_step], from.bits);
    if (to.entries > 0) {
      destination[i] =
          static_cast<std::uint8_t>(nearest_color(c.red, c.green, c.blue, to.palette, to.entries));
    } else {
      write_direct(&destination[i * out_step], to.bits, c);
    }
  }
  return 0;
}
