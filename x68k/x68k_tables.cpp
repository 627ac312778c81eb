// The X68000 sheet layout and palettes.
#include <algorithm>
#include <iterator>

#include "pc98/pc98.h"
#include "x68k/x68k.h"

namespace {

// Tile number of each sheet cell, row by row; -1 marks an empty cell.
// clang-format off
constexpr std::int32_t cell_tiles[] = {
       0,    1,    2,    3,    4,    5,    6,    7,    8,    9,   10,   11,   12,   13,   14,   15,
      16,   17,   18,   19,   20,   21,   22,   23,   24,   25,   26,   27,   28,   29,   30,   31,
      32,   33,   34,   35,   36,   37,   38,   39,   40,   41,   44,   45,   42,   43,   46,   47,
      48,   49,   50,   51,   52,   53,   54,   55,   56,   57,   58,   59,   60,   61,   62,   63,
      64,   65,   66,   67,   -1,   -1,   -1,   -1,   72,   73,   74,   75,   76,   77,   78,   79,
      80,   81,   82,   83,   84,   85,   86,   87,   88,   89,   90,   91,   92,   93,   94,   95,
      96,   97,   98,   99,  100,  101,  102,  103,  104,  105,  106,  107,  108,  109,  110,  111,
     112,  113,  114,  115,  116,  117,  118,  119,  120,  121,  122,  123,  124,  125,  126,  127,
     128,  129,  130,  131,  132,  133,  134,  135,  136,  137,  138,  139,  140,  141,  142,  143,
     144,  145,  146,  147,  148,  149,  150,  151,  152,  153,  154,  155,  156,  157,  158,  159,
     160,  161,  162,  163,  164,  165,  166,  167,  168,  169,  170,  171,  172,  173,  174,  175,
     176,  177,  178,  179,  180,  181,  182,  183,  184,  185,  186,  187,  188,  189,  190,  191,
     192,  193,  194,  195,  196,  197,  198,  199,  200,  201,  202,  203,  204,  205,  206,  207,
     208,  209,  210,  211,  212,  213,  214,  215,  216,  217,  218,  219,  220,  221,  222,  223,
     224,  225,  226,  227,  228,  229,  230,  231,  232,  233,  234,  235,  236,  237,  238,  239,
     240,  241,  242,  243,  244,  245,  246,  247,  248,  249,  250,  251,  252,  253,  254,  255,
      10,   11,   14,   75,   16,   17,   18,   19,  128,  129,  130,  131,   55,   56,   -1,   -1,
      -1,  273,  274,  275,  276,  277,  278,  279,  280,  281,  282,  283,  284,  285,  286,  287,
      56,   56,   74,   77,   80,   84,   92,  132,  156,  172,  188,  240,   -1,   -1,   -1,   -1,
      -1,  273,  274,  275,  276,  277,  278,  279,  280,  281,  282,  283,  284,  285,  286,  287,
      -1,  273,  274,  275,  276,  277,  278,  279,  280,  281,  282,  283,  284,  285,  286,  287,
       0,  126,  338,  339,  341,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,
};
// clang-format on

// Index of the image in shape.pat shown in each cell (offset / 648); -1 in
// empty cells.
// clang-format off
constexpr std::int32_t cell_images[] = {
       0,    1,    2,    3,    4,    5,    6,    7,    8,    9,   10,   12,   14,   15,   16,   18,
      19,   21,   23,   25,   27,   28,   29,   30,   31,   32,   33,   34,   35,   36,   37,   38,
      39,   40,   41,   42,   43,   44,   45,   46,   47,   48,   51,   52,   49,   50,   53,   54,
      55,   56,   57,   58,   59,   60,   61,   70,   71,   72,   73,   74,   75,   76,   77,   78,
      63,   64,   65,   66,   -1,   -1,   -1,   -1,   90,   91,   92,   93,   95,   67,   68,   69,
      79,   80,   81,   82,   83,   84,   85,   86,   96,   97,   98,   99,  100,  101,  102,  103,
     104,  105,  106,  107,  108,  109,  110,  111,  112,  113,  114,  115,  116,  117,  118,  119,
     120,  121,  122,  123,  124,  125,  126,  127,  128,  129,  130,  131,  132,  133,  134,  135,
     136,  138,  140,  142,  205,  206,  207,  208,  209,  210,  211,  212,  144,  145,  213,  214,
     215,  216,  217,  218,  219,  220,  221,  222,  223,  224,  225,  226,  227,  228,  229,  230,
     231,  232,  233,  234,  235,  236,  237,  238,  239,  240,  241,  242,  243,  244,  245,  246,
     247,  248,  249,  250,  251,  252,  253,  254,  255,  256,  257,  258,  259,  260,  261,  262,
     263,  264,  265,  266,  267,  268,  269,  270,  271,  272,  273,  274,  275,  276,  277,  278,
     279,  280,  281,  282,  283,  284,  285,  286,  287,  288,  289,  290,  291,  292,  293,  294,
     295,  296,  297,  298,  299,  300,  301,  302,  303,  304,  305,  306,  307,  308,  309,  310,
     311,  312,  313,  314,  315,  316,  317,  318,  319,  320,  321,  322,  323,  324,  325,  326,
      11,   13,   17,   94,   20,   22,   24,   26,  137,  139,  141,  143,  158,   62,   -1,   -1,
      -1,  159,  160,  161,  162,  163,  164,  165,  166,  167,  168,  169,  170,  171,  172,  173,
     147,  148,  156,  151,  152,  150,  149,  153,  146,  154,  155,  157,   -1,   -1,   -1,   -1,
      -1,  174,  175,  176,  177,  178,  179,  180,  181,  182,  183,  184,  185,  186,  187,  188,
      -1,  189,  190,  191,  192,  193,  194,  195,  196,  197,  198,  199,  200,  201,  202,  203,
     204,  327,   87,   88,   89,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,
};
// clang-format on

static_assert(std::size(cell_tiles) == 352 && std::size(cell_images) == 352);

constexpr std::array<x68k_layout_entry, 352> make_layout() {
  std::array<x68k_layout_entry, 352> layout{};
  for (std::size_t i = 0; i < layout.size(); ++i) {
    layout[i].tile_number = cell_tiles[i];
    layout[i].shape_offset = cell_images[i] < 0 ? 0 : cell_images[i] * x68k_tile_bytes;
  }
  return layout;
}

// Every image of the file is shown in exactly one cell, and the two tables
// agree on which cells are empty.
constexpr bool images_used_once() {
  std::array<int, x68k_tile_count> uses{};
  for (std::size_t i = 0; i < std::size(cell_images); ++i) {
    if ((cell_images[i] < 0) != (cell_tiles[i] < 0)) return false;
    if (cell_images[i] >= x68k_tile_count) return false;
    if (cell_images[i] >= 0) ++uses[static_cast<std::size_t>(cell_images[i])];
  }
  return std::all_of(uses.begin(), uses.end(), [](int n) { return n == 1; });
}

constexpr int empty_cells() {
  return static_cast<int>(std::count(std::begin(cell_tiles), std::end(cell_tiles), -1));
}

// Rows 0-15 show tiles 0-255 in cell order, except the four empty cells of
// row 4 and the swapped pairs 42/43 and 44/45 in row 2.
constexpr bool main_rows_in_order() {
  for (int i = 0; i < 256; ++i) {
    int expected = i;
    if (i >= 68 && i <= 71) expected = -1;
    if (i >= 42 && i <= 45) expected = i < 44 ? i + 2 : i - 2;
    if (cell_tiles[static_cast<std::size_t>(i)] != expected) return false;
  }
  return true;
}

static_assert(images_used_once());
static_assert(empty_cells() == 24);
static_assert(main_rows_in_order());

}  // namespace

constexpr std::array<x68k_layout_entry, 352> x68k_sheet_layout = make_layout();

// The extractors of both platforms write the same digital palette.
const std::array<std::uint8_t, 64>& x68k_palette = pc98_palette;

// Blue, green, red, 0 per entry; entries left out are black.
// clang-format off
constexpr std::array<std::uint8_t, 64> x68k_patch_palette = {
    0x00, 0x00, 0x00, 0x00,  // black
    0xFF, 0x00, 0x00, 0x00,  // blue
    0x00, 0x00, 0xFF, 0x00,  // red
    0xFF, 0x00, 0xFF, 0x00,  // magenta
    0x00, 0xFF, 0x00, 0x00,  // green
    0xFF, 0xFF, 0x00, 0x00,  // cyan
    0x00, 0xFF, 0xFF, 0x00,  // yellow
    0xFF, 0xFF, 0xFF, 0x00,  // white
};

constexpr std::array<std::uint8_t, 64> x68k_patch_mask_palette = {
    0x00, 0x00, 0x00, 0x00,  // black: mask bit clear
    0xFF, 0xFF, 0xFF, 0x00,  // white: mask bit set
};
// clang-format on
