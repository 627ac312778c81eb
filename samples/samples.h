// Sample data for the demonstration: an original tile set drawn by program
// (terrain, buildings, items, furnishings, people, creatures, numbered
// tiles, shore overlays, spark effects) and its encoding in the shape file
// format of every platform, so that all programs can be tried without any
// disk of the title.
//
// A tile is drawn in inks, the 16 EGA colour numbers plus art_clear for
// see-through pixels, at the cell size of a platform (16 x 16 PC, 14 x 16
// Apple II, 32 x 32 PC-98, 36 x 36 X68000). Tile numbers:
//   0-255    the ordinary tiles, the same picture on every platform
//   273-287  shore line overlays; bits 0-3 of number - 272 put surf on the
//            north, east, south and west edge
//   320-351  spark effect frames
// Frame numbers animate water, lava, flames, people and creatures.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::uint8_t art_clear = 16;

// One tile's pixels: inks, top row first.
struct art_canvas {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
};

// Draws tile `number` at animation frame `frame` into a new canvas.
art_canvas draw_sample_tile(int number, int frame, int width, int height);

// A hi-res shape byte whose seven dots show the seven hi-res colours given;
// `first_column` is the tile column (0 or 7) of its leftmost dot, since a
// lit dot's colour depends on the column parity and on the palette bit.
std::uint8_t encode_hires_byte(std::span<const std::uint8_t, 7> colours, int first_column);

// SHAPES.EGA: 256 tiles of 16 x 16, 32,768 bytes.
std::vector<std::uint8_t> make_sample_ega_shapes();

// The Apple II shape files, 4096 bytes each: left-hand bytes, right-hand bytes.
std::array<std::vector<std::uint8_t>, 2> make_sample_apple_shapes();

// The PC-98 sheet canvas (512 x 736 colour indices with the mask bit) and
// "ocshape.pat" and "swshape.pat" encoded from it.
std::vector<std::uint8_t> draw_sample_pc98_sheet();
std::array<std::vector<std::uint8_t>, 2> make_sample_pc98_shapes();

// The X68000 sheet canvas (576 x 792) and "shape.pat" encoded from it.
std::vector<std::uint8_t> draw_sample_x68k_sheet();
std::vector<std::uint8_t> make_sample_x68k_shapes();

// make_samples FOLDER: writes SHAPES.EGA, KVboot.dsk, KVboot.po,
// KVboot.woz, KV_Mirath.fdi, KV_Thalwynd.fdi, kv-mirath.xdf and
// kv-mirath.dim into FOLDER.
int run_make_samples(int argc, char** argv);
