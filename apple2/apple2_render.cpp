// Hi-res tile rendering: each shape byte lights seven dots whose colour
// follows from the dot's column and the byte's palette bit; adjacent lit
// dots blend to white and single dark gaps may be filled (blur). At double
// width every dot covers two output pixels, so palette-bit-1 bytes can be
// delayed by half a dot and the filters work in half dots.
#include <algorithm>
#include <cstddef>

#include "apple2/apple2.h"
#include "ega/ega.h"

namespace {

constexpr int rows_per_tile = 16;
constexpr int tiles_per_line = 16;
constexpr int tile_count = 256;

// Draws the seven dots of one byte from entry x on, `scale` entries each,
// in the colours of phase_colors from entry `start` on.
void draw_dots(std::uint8_t byte, int x, std::size_t start, int scale, row_buffer& row) {
  for (std::size_t i = 0; i < 7; ++i, x += scale) {
    if ((byte & (1u << i)) == 0) continue;
    for (int k = 0; k < scale; ++k) {
      if (x + k >= 0 && x + k < static_cast<int>(row.size())) {
        row[static_cast<std::size_t>(x + k)] = phase_colors[start + i];
      }
    }
  }
}

std::size_t usable_width(int cell_width) {
  return static_cast<std::size_t>(std::clamp(cell_width, 0, static_cast<int>(row_buffer{}.size())));
}

// Scale 1: a lit entry with one lit neighbour turns white.
void blend_white_single(row_buffer& row, std::size_t w) {
  if (w < 2) return;
  if (row[0] != 0 && row[1] != 0) row[0] = hires_white;
  for (std::size_t x = 1; x + 1 < w; ++x) {
    if (row[x] != 0 && (row[x - 1] != 0 || row[x + 1] != 0)) row[x] = hires_white;
  }
  if (row[w - 2] != 0 && row[w - 1] != 0) row[w - 1] = hires_white;
}

// Scale 2: a lit entry between two lit neighbours turns white, so a run
// keeps its coloured first and last half dot.
void blend_white_double(row_buffer& row, std::size_t w) {
  for (std::size_t x = 1; x + 1 < w; ++x) {
    if (row[x] != 0 && row[x - 1] != 0 && row[x + 1] != 0) row[x] = hires_white;
  }
}

// Scale 1: a dark entry between two lit ones takes a colour, never white;
// between two colours the side of the cell's middle decides.
void blur_row_single(row_buffer& row, std::size_t w, int half_width) {
  for (std::size_t x = 1; x + 1 < w; ++x) {
    const std::uint8_t l = row[x - 1];
    const std::uint8_t r = row[x + 1];
    if (row[x] != 0 || l == 0 || r == 0) continue;
    if (l == hires_white && r == hires_white) continue;
    if (l == hires_white) {
      row[x] = r;
    } else if (r == hires_white) {
      row[x] = l;
    } else {
      row[x] = static_cast<int>(x) < half_width ? l : r;
    }
  }
}

// Scale 2: every dark entry next to a lit one takes a neighbour's value and
// every colour next to white turns white; all tests read the row as it was.
void blur_row_double(row_buffer& row, std::size_t w, int half_width) {
  if (w < 2) return;
  const row_buffer old = row;
  const auto colour = [](std::uint8_t v) { return v != 0 && v != hires_white; };
  if (old[0] == 0 && old[1] != 0) row[0] = old[1];
  for (std::size_t x = 1; x + 1 < w; ++x) {
    if (old[x] != 0) continue;
    const std::uint8_t l = old[x - 1];
    const std::uint8_t r = old[x + 1];
    if (l != 0 && r != 0) {
      row[x] = static_cast<int>(x) < half_width ? l : r;
    } else if (l != 0 || r != 0) {
      row[x] = l != 0 ? l : r;
    }
  }
  if (old[w - 1] == 0 && old[w - 2] != 0) row[w - 1] = old[w - 2];
  if (colour(old[0]) && old[1] == hires_white) row[0] = hires_white;
  for (std::size_t x = 1; x + 1 < w; ++x) {
    if (colour(old[x]) && (old[x - 1] == hires_white || old[x + 1] == hires_white)) {
      row[x] = hires_white;
    }
  }
  if (colour(old[w - 1]) && old[w - 2] == hires_white) row[w - 1] = hires_white;
}

// Replaces each canvas byte by one colour of its pair; `second(x, y)` picks.
template <typename pick>
void dither_canvas(std::span<std::uint8_t> canvas, int width, int height,
                   const dither_pair_table& pairs, pick second) {
  if (width <= 0 || height <= 0) return;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x);
      if (i >= canvas.size()) return;
      const std::uint8_t b = canvas[i];
      if (b < pairs.size()) canvas[i] = pairs[b][second(x, y) ? 1 : 0];
    }
  }
}

}  // namespace

render_geometry compute_render_geometry(const render_options& options) {
  render_geometry g;
  g.cell_width = options.tile_width * options.scale;
  g.cell_height = rows_per_tile * options.scale;
  g.half_width = g.cell_width / 2;
  g.left_offset = (options.tile_width - 14) * options.scale / 2;
  return g;
}

void decode_shape_row(std::uint8_t left, std::uint8_t right, const render_options& options,
                      const render_geometry& geometry, row_buffer& row) {
  row.fill(0);
  const bool mono = options.color_mode == color_mono;
  const bool shift = options.scale == 2 && options.half_shift;

  int x = geometry.left_offset;
  std::size_t start = mono ? 16 : (left & 0x80) != 0 ? 8 : 0;
  if (shift && (left & 0x80) != 0) ++x;
  draw_dots(left, x, start, options.scale, row);

  // The right-hand byte begins at an odd tile column: one entry later.
  x = geometry.half_width;
  start = mono ? 16 : (right & 0x80) != 0 ? 9 : 1;
  if (shift && (right & 0x80) != 0) {
    // The half dot between a lit last left-hand dot and the delayed byte.
    const int h = geometry.half_width;
    if (h >= 1 && h < static_cast<int>(row.size()) && row[static_cast<std::size_t>(h - 1)] != 0) {
      row[static_cast<std::size_t>(h)] = phase_colors[start + 1];
    }
    ++x;
  }
  draw_dots(right, x, start, options.scale, row);
}

void blend_white(row_buffer& row, int cell_width, int scale) {
  const std::size_t w = usable_width(cell_width);
  if (scale == 2) {
    blend_white_double(row, w);
  } else {
    blend_white_single(row, w);
  }
}

void blur_row(row_buffer& row, int cell_width, int half_width, int scale) {
  const std::size_t w = usable_width(cell_width);
  if (scale == 2) {
    blur_row_double(row, w, half_width);
  } else {
    blur_row_single(row, w, half_width);
  }
}

void render_shape_row(std::uint8_t left, std::uint8_t right, const render_options& options,
                      const render_geometry& geometry, row_buffer& row) {
  decode_shape_row(left, right, options, geometry, row);
  if (options.color_mode == color_blur || options.color_mode == color_no_blur) {
    blend_white(row, geometry.cell_width, options.scale);
  }
  if (options.color_mode == color_blur) {
    blur_row(row, geometry.cell_width, geometry.half_width, options.scale);
  }
}

std::vector<std::uint8_t> render_tile_sheet(std::span<const std::uint8_t> shapes,
                                            const render_options& options,
                                            const render_geometry& geometry) {
  const std::size_t cell_width = usable_width(geometry.cell_width);
  const std::size_t line = cell_width * tiles_per_line;
  const std::size_t height = static_cast<std::size_t>(std::max(geometry.cell_height, 0)) * 16;
  std::vector<std::uint8_t> canvas(line * height, 0);
  if (shapes.size() < 2 * static_cast<std::size_t>(shape_file_bytes)) return canvas;
  const std::uint8_t* left_file = shapes.data();
  const std::uint8_t* right_file = shapes.data() + shape_file_bytes;
  const auto repeat = static_cast<std::size_t>(std::max(options.scale, 1));
  const auto tiles = static_cast<std::size_t>(tiles_per_line);
  row_buffer row{};
  for (std::size_t t = 0; t < tile_count; ++t) {
    const std::size_t column = t % tiles * cell_width;
    const std::size_t top = t / tiles * static_cast<std::size_t>(std::max(geometry.cell_height, 0));
    for (std::size_t r = 0; r < rows_per_tile; ++r) {
      render_shape_row(left_file[256 * r + t], right_file[256 * r + t], options, geometry, row);
      // Each source row fills `scale` canvas rows.
      for (std::size_t k = 0; k < repeat; ++k) {
        const std::size_t y = top + r * repeat + k;
        if (y >= height) break;
        std::copy_n(row.begin(), cell_width,
                    canvas.begin() + static_cast<std::ptrdiff_t>(y * line + column));
      }
    }
  }
  return canvas;
}

void remap_to_ega(std::span<std::uint8_t> canvas) {
  for (std::uint8_t& b : canvas) {
    if (b < hires_to_ega.size()) b = hires_to_ega[b];
  }
}

void dither_stripe(std::span<std::uint8_t> canvas, int width, int height,
                   const dither_pair_table& pairs) {
  dither_canvas(canvas, width, height, pairs, [](int x, int) { return x % 2 != 0; });
}

void dither_cross(std::span<std::uint8_t> canvas, int width, int height,
                  const dither_pair_table& pairs) {
  dither_canvas(canvas, width, height, pairs, [](int x, int y) { return (x + y) % 2 != 0; });
}

void convert_tile_sheet(std::span<std::uint8_t> canvas, const render_options& options,
                        const render_geometry& geometry) {
  if (options.color_mode == color_mono) return;
  const int width = geometry.cell_width * tiles_per_line;
  const int height = geometry.cell_height * 16;
  const dither_pair_table& pairs = options.ega ? ega_dither_pairs : digital_dither_pairs;
  if (options.dither == 1) {
    dither_stripe(canvas, width, height, pairs);
  } else if (options.dither == 2) {
    dither_cross(canvas, width, height, pairs);
  } else if (options.ega) {
    remap_to_ega(canvas);
  }
}

const std::array<std::uint8_t, 64>& choose_sheet_palette(const render_options& options) {
  if (options.color_mode == color_mono) return hires_palette;
  if (options.ega) return ega_palette;
  if (options.dither != 0) return digital_palette;
  return hires_palette;
}
