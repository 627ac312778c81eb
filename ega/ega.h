// The PC version's SHAPES.EGA tile file and the standard 16-colour EGA
// palette (also written by the Apple II extractor).
//
// SHAPES.EGA: 256 tiles of 16 x 16 pixels, 128 bytes each, back to back;
// 8 bytes a row, top row first; each byte holds two pixels, the left one in
// bits 7-4; a pixel is an index into ega_palette.
#pragma once

#include <array>
#include <cstdint>

// 16 entries of blue, green, red, 0: black, blue, green, cyan, red, magenta,
// brown, light grey, dark grey, light blue, light green, light cyan, light
// red, light magenta, yellow, white.
extern const std::array<std::uint8_t, 64> ega_palette;

int run_egatiles(int argc, char** argv);
