// Constant tables of the Apple II disk access and hi-res renderer.
#include "apple2/apple2.h"

// clang-format off

// Dot colours by start entry + dot number; even tile columns green/orange.
constexpr std::array<std::uint8_t, 24> phase_colors = {
    2, 1, 2, 1, 2, 1, 2, 1,  // palette bit 0: green, pink
    4, 3, 4, 3, 4, 3, 4, 3,  // palette bit 1: orange, blue
    5, 5, 5, 5, 5, 5, 5, 5}; // mono: white

// Hi-res colours (blue, green, red, 0): black, pink, green, blue, orange, white.
constexpr std::array<std::uint8_t, 64> hires_palette = {
    0x00, 0x00, 0x00, 0,  0xD0, 0x50, 0xD0, 0,  0x50, 0xD0, 0x60, 0,  0xFF, 0xA0, 0x50, 0,
    0x20, 0x80, 0xE0, 0,  0xFF, 0xFF, 0xFF, 0,  0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,
    0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,
    0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0};

// Eight digital colours (blue, green, red, 0): black, blue, red, magenta,
// green, cyan, yellow, white.
constexpr std::array<std::uint8_t, 64> digital_palette = {
    0x00, 0x00, 0x00, 0,  0xFF, 0x00, 0x00, 0,  0x00, 0x00, 0xFF, 0,  0xFF, 0x00, 0xFF, 0,
    0x00, 0xFF, 0x00, 0,  0xFF, 0xFF, 0x00, 0,  0x00, 0xFF, 0xFF, 0,  0xFF, 0xFF, 0xFF, 0,
    0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,
    0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0,  0x00, 0x00, 0x00, 0};

// Hi-res index to EGA index: black, magenta, green, light blue, light red, white.
constexpr std::array<std::uint8_t, hires_color_count> hires_to_ega = {0, 5, 2, 9, 12, 15};

// Two EGA colours per hi-res index.
constexpr dither_pair_table ega_dither_pairs = {{
    {0, 0},    // black
    {5, 13},   // pink: magenta, light magenta
    {10, 2},   // green: light green, green
    {3, 9},    // blue: cyan, light blue
    {6, 12},   // orange: brown, light red
    {15, 15}}};// white

// Two digital colours per hi-res index.
constexpr dither_pair_table digital_dither_pairs = {{
    {0, 0},    // black
    {3, 1},    // pink: magenta, blue
    {4, 4},    // green
    {5, 1},    // blue: cyan, blue
    {2, 6},    // orange: red, yellow
    {7, 7}}};  // white

// clang-format on

// The two shape files, left-hand bytes first.
constexpr std::array<std::string_view, 2> shape_file_names = {std::string_view("S\x01HP0", 5),
                                                              std::string_view("S\x01HP1", 5)};

static_assert(phase_colors.size() == 24);
static_assert(hires_palette.size() == 16 * 4 && digital_palette.size() == 16 * 4);
static_assert(hires_to_ega.size() == hires_color_count);
static_assert(ega_dither_pairs.size() == hires_color_count);
static_assert(digital_dither_pairs.size() == hires_color_count);
static_assert(shape_file_names[0].size() == 5 && shape_file_names[1].size() == 5);
