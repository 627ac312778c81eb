// The sample tile set, drawn by program at any cell size. Painters work in
// tile units (0 to 1 across and down, tested at pixel centres) so one
// description serves the 14 x 16 Apple II cell as well as the 36 x 36
// X68000 cell. Objects and figures are drawn on see-through pixels and get
// a black outline; variants of a family are the same drawing with its inks
// swapped through a colour scheme.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "samples/samples.h"

namespace {

// The 16 EGA colour numbers, and the see-through ink.
// clang-format off
enum ink : std::uint8_t {
  black, blue, green, cyan, red, magenta, brown, light_grey,
  dark_grey, light_blue, light_green, light_cyan, light_red, light_magenta, yellow, white,
  clear = art_clear,
};
// clang-format on
constexpr double pi = std::numbers::pi;

// Colour schemes that turn a tile into a variant of itself: entry i is the
// ink that replaces ink i.
using ink_map = std::array<std::uint8_t, 17>;
// clang-format off
constexpr ink_map winter = {
    black,         blue,          white,       cyan,       red,           magenta,
    brown,         light_grey,    dark_grey,   light_blue, light_cyan,    light_cyan,
    light_red,     light_magenta, yellow,      white,      clear};
constexpr ink_map cold = {
    black,         blue,          green,       cyan,       blue,          cyan,
    dark_grey,     light_grey,    dark_grey,   light_blue, light_green,   light_cyan,
    light_blue,    light_cyan,    light_cyan,  white,      clear};
constexpr ink_map warm = {
    black,         red,           magenta,     yellow,     brown,         light_red,
    dark_grey,     light_grey,    dark_grey,   light_red,  light_magenta, yellow,
    light_magenta, light_red,     white,       white,      clear};
constexpr ink_map pale = {
    black,         light_blue,    light_green, light_cyan, light_red,     light_magenta,
    yellow,        white,         light_grey,  light_cyan, white,         white,
    yellow,        white,         white,       white,      clear};
// clang-format on

// A figure of the people family: clothes, headwear and what it carries.
enum headwear : std::uint8_t { bare, hood, pointed_hat, helmet, crown_hat, cap };
enum held : std::uint8_t { nothing, sword, staff, bow, shield, spear };
struct person_look {
  std::uint8_t body;
  std::uint8_t legs;
  std::uint8_t hat;
  headwear head;
  held carried;
  bool robe;
};

// clang-format off
constexpr std::array<person_look, 16> people = {{
    {blue,          dark_grey, light_grey,    helmet,      sword,   false},  // fighter
    {magenta,       magenta,   blue,          pointed_hat, staff,   true},   // wizard
    {green,         brown,     green,         hood,        bow,     false},  // ranger
    {white,         white,     white,         hood,        staff,   true},   // priest
    {dark_grey,     black,     dark_grey,     hood,        sword,   false},  // thief
    {light_grey,    blue,      light_grey,    helmet,      shield,  false},  // paladin
    {red,           green,     green,         cap,         nothing, false},  // minstrel
    {red,           red,       yellow,        crown_hat,   staff,   true},   // king
    {light_magenta, magenta,   yellow,        crown_hat,   nothing, true},   // queen
    {brown,         dark_grey, light_grey,    helmet,      spear,   false},  // guard
    {brown,         blue,      brown,         bare,        nothing, false},  // farmer
    {cyan,          cyan,      brown,         bare,        nothing, true},   // townswoman
    {yellow,        brown,     brown,         cap,         nothing, false},  // merchant
    {brown,         brown,     brown,         hood,        staff,   true},   // monk
    {light_magenta, yellow,    yellow,        pointed_hat, nothing, false},  // jester
    {dark_grey,     dark_grey, dark_grey,     helmet,      spear,   false},  // dark knight
}};

// What each row of 16 tile numbers holds, and the colour schemes its left
// and right eight tiles are drawn in (none: as drawn).
enum family : std::uint8_t { terrain, building, item, furnishing, person, creature, numbered };
struct tile_row {
  family drawn;
  const ink_map* left_scheme;
  const ink_map* right_scheme;
};
constexpr std::array<tile_row, 16> tile_rows = {{
    {terrain,    nullptr, nullptr}, {building,   nullptr, nullptr},  //   0-31
    {item,       nullptr, nullptr}, {furnishing, nullptr, nullptr},  //  32-63
    {person,     nullptr, nullptr}, {creature,   nullptr, &warm},    //  64-95
    {terrain,    &winter, &winter}, {building,   &cold,   &cold},    //  96-127
    {creature,   &warm,   &cold},   {creature,   &winter, &pale},    // 128-159
    {person,     &warm,   &warm},   {person,     &cold,   &cold},    // 160-191
    {item,       &cold,   &cold},   {furnishing, &warm,   &warm},    // 192-223
    {numbered,   nullptr, nullptr}, {numbered,   nullptr, nullptr},  // 224-255
}};

// 3 x 5 digit glyphs, one row per entry, bit 2 the left column.
constexpr std::array<std::array<std::uint8_t, 5>, 10> digit_glyphs = {{
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
}};
// clang-format on

// Sets every pixel whose centre, in tile units, passes `inside`.
template <class Inside>
void paint(art_canvas& c, std::uint8_t colour, Inside inside) {
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      if (inside((x + 0.5) / c.width, (y + 0.5) / c.height)) {
        c.pixels[static_cast<std::size_t>(y * c.width + x)] = colour;
      }
    }
  }
}

// Sets every pixel of the tile.
void fill(art_canvas& c, std::uint8_t colour) {
  std::fill(c.pixels.begin(), c.pixels.end(), colour);
}

// Axis-aligned box from (x0, y0) to (x1, y1).
void rect(art_canvas& c, std::uint8_t colour, double x0, double y0, double x1, double y1) {
  paint(c, colour, [=](double u, double v) { return u >= x0 && u < x1 && v >= y0 && v < y1; });
}

// Ellipse of radii rx, ry around (cx, cy).
void oval(art_canvas& c, std::uint8_t colour, double cx, double cy, double rx, double ry) {
  paint(c, colour, [=](double u, double v) {
    const double a = (u - cx) / rx, b = (v - cy) / ry;
    return a * a + b * b <= 1;
  });
}

// Triangle with corners a, b and c, either winding.
void triangle(art_canvas& c, std::uint8_t colour, double ax, double ay, double bx, double by,
              double cx, double cy) {
  paint(c, colour, [=](double u, double v) {
    const double d1 = (bx - ax) * (v - ay) - (by - ay) * (u - ax);
    const double d2 = (cx - bx) * (v - by) - (cy - by) * (u - bx);
    const double d3 = (ax - cx) * (v - cy) - (ay - cy) * (u - cx);
    return (d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0);
  });
}

// A stroke from (x0, y0) to (x1, y1), never thinner than one pixel.
void line(art_canvas& c, std::uint8_t colour, double x0, double y0, double x1, double y1,
          double width = 0.06) {
  const double half = std::max(width / 2, 0.55 / std::min(c.width, c.height));
  paint(c, colour, [=](double u, double v) {
    const double dx = x1 - x0, dy = y1 - y0;
    const double t = std::clamp(((u - x0) * dx + (v - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(u - x0 - t * dx, v - y0 - t * dy) <= half;
  });
}

// A repeatable pseudo-random number in [0, 1) for mark k of a tile.
double chance(int seed, int k) {
  std::uint32_t h =
      static_cast<std::uint32_t>(seed) * 2654435761u + static_cast<std::uint32_t>(k) * 40503u;
  h ^= h >> 15;
  h *= 2246822519u;
  h ^= h >> 13;
  return (h & 0xFFFF) / 65536.0;
}

// `count` small V-shaped grass tufts at scattered places.
void tufts(art_canvas& c, std::uint8_t colour, int count, int seed) {
  for (int k = 0; k < count; ++k) {
    const double x = 0.1 + 0.8 * chance(seed, 2 * k), y = 0.15 + 0.8 * chance(seed, 2 * k + 1);
    line(c, colour, x - 0.05, y - 0.08, x, y, 0.04);
    line(c, colour, x + 0.05, y - 0.08, x, y, 0.04);
  }
}

// Short wave crests in `rows` rows that drift right from frame to frame.
void waves(art_canvas& c, std::uint8_t colour, int rows, int frame) {
  const double half = std::max(0.03, 0.6 / c.height);
  paint(c, colour, [=](double u, double v) {
    for (int k = 0; k < rows; ++k) {
      const double phase = 2 * pi * (1.5 * u - frame * 0.2 + k * 0.4);
      if (std::sin(phase) > 0.2 && std::abs(v - (k + 0.5) / rows + 0.06 * std::sin(phase)) < half) {
        return true;
      }
    }
    return false;
  });
}

// True on the first pixel of each of `count` equal bands of `size` pixels.
bool starts_band(int p, int count, int size) {
  return p == 0 || p * count / size != (p - 1) * count / size;
}

// Brick courses with one-pixel mortar joints, alternate courses offset by half a brick.
void bricks(art_canvas& c, std::uint8_t brick, std::uint8_t mortar, int courses, int per_course) {
  for (int y = 0; y < c.height; ++y) {
    const int shift = (y * courses / c.height) % 2 == 1 ? c.width / (2 * per_course) : 0;
    for (int x = 0; x < c.width; ++x) {
      const bool joint = starts_band(y, courses, c.height) ||
                         starts_band((x + shift) % c.width, per_course, c.width);
      c.pixels[static_cast<std::size_t>(y * c.width + x)] = joint ? mortar : brick;
    }
  }
}

// An n x n chequer board of two inks.
void chequer(art_canvas& c, std::uint8_t first, std::uint8_t second, int n) {
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      c.pixels[static_cast<std::size_t>(y * c.width + x)] =
          (x * n / c.width + y * n / c.height) % 2 ? second : first;
    }
  }
}

// Rings every see-through pixel that touches a drawn one with black, so figures read on any ground.
void outline(art_canvas& c) {
  const std::vector<std::uint8_t> source = c.pixels;
  auto drawn = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < c.width && y < c.height &&
           source[static_cast<std::size_t>(y * c.width + x)] != clear;
  };
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      if (!drawn(x, y) &&
          (drawn(x - 1, y) || drawn(x + 1, y) || drawn(x, y - 1) || drawn(x, y + 1))) {
        c.pixels[static_cast<std::size_t>(y * c.width + x)] = black;
      }
    }
  }
}

// Draws `figure` on a see-through layer, outlines it and lays it over the canvas.
template <class Figure>
void overlay(art_canvas& c, Figure figure) {
  art_canvas layer{c.width, c.height, std::vector<std::uint8_t>(c.pixels.size(), clear)};
  figure(layer);
  outline(layer);
  for (std::size_t i = 0; i < c.pixels.size(); ++i) {
    if (layer.pixels[i] != clear) c.pixels[i] = layer.pixels[i];
  }
}

// Passes every pixel through a colour scheme.
void recolour(art_canvas& c, const ink_map& scheme) {
  for (std::uint8_t& p : c.pixels) p = scheme[p];
}

// Two decimal digits in the middle of the tile, one glyph dot per pixel on
// 16-pixel tiles and a 2 x 2 block on 32-pixel ones.
void draw_digits(art_canvas& c, std::uint8_t colour, int number) {
  const int dot = std::max(1, std::min(c.width, c.height) / 16);
  const int left = (c.width - 7 * dot) / 2, top = (c.height - 5 * dot) / 2;
  for (int d = 0; d < 2; ++d) {
    const auto& glyph =
        digit_glyphs[static_cast<std::size_t>(d == 0 ? number / 10 % 10 : number % 10)];
    for (int y = 0; y < 5 * dot; ++y) {
      for (int x = 0; x < 3 * dot; ++x) {
        if (glyph[static_cast<std::size_t>(y / dot)] >> (2 - x / dot) & 1) {
          c.pixels[static_cast<std::size_t>((top + y) * c.width + left + 4 * dot * d + x)] = colour;
        }
      }
    }
  }
}

// Ground tiles: water, swamp, grass, woods, hills, mountains, sand, lava, snow, road, bridge.
void draw_terrain(art_canvas& c, int kind, int frame) {
  switch (kind) {
    case 0:
      fill(c, blue);
      waves(c, light_blue, 3, frame);
      break;
    case 1:
      fill(c, light_blue);
      waves(c, white, 3, frame);
      break;
    case 2:
      fill(c, cyan);
      waves(c, light_cyan, 2, frame);
      break;
    case 3:  // swamp
      fill(c, green);
      oval(c, blue, 0.3, 0.3, 0.22, 0.1);
      oval(c, blue, 0.7, 0.72, 0.24, 0.1);
      for (int k = 0; k < 5; ++k)
        line(c, dark_grey, 0.1 + 0.2 * k, 0.42 + 0.1 * (k % 2), 0.1 + 0.2 * k, 0.56 + 0.1 * (k % 2),
             0.04);
      break;
    case 4:
      fill(c, green);
      tufts(c, light_green, 6, 4);
      break;
    case 5:  // meadow
      fill(c, green);
      tufts(c, light_green, 3, 5);
      for (int k = 0; k < 6; ++k) {
        const std::uint8_t petals[3] = {yellow, white, light_magenta};
        oval(c, petals[k % 3], 0.12 + 0.76 * chance(15, k), 0.12 + 0.76 * chance(16, k), 0.06,
             0.06);
      }
      break;
    case 6:  // scrub
      fill(c, green);
      overlay(c, [](art_canvas& l) {
        for (int k = 0; k < 3; ++k)
          oval(l, light_green, 0.25 + 0.25 * k, 0.35 + 0.3 * (k % 2), 0.15, 0.12);
      });
      break;
    case 7:  // woods
      fill(c, green);
      overlay(c, [](art_canvas& l) {
        for (int k = 0; k < 3; ++k) {
          const double x = 0.22 + 0.28 * k, y = 0.35 + 0.3 * (k % 2);
          rect(l, brown, x - 0.04, y, x + 0.04, y + 0.28);
          oval(l, light_green, x, y - 0.02, 0.17, 0.17);
          oval(l, green, x + 0.05, y + 0.04, 0.08, 0.08);
        }
      });
      break;
    case 8:  // pines
      fill(c, green);
      overlay(c, [](art_canvas& l) {
        for (int k = 0; k < 3; ++k) {
          const double x = 0.2 + 0.3 * k, y = 0.12 + 0.2 * (k % 2);
          rect(l, brown, x - 0.04, y + 0.5, x + 0.04, y + 0.62);
          triangle(l, light_green, x, y, x - 0.16, y + 0.52, x + 0.16, y + 0.52);
          triangle(l, green, x, y + 0.2, x, y + 0.52, x + 0.16, y + 0.52);
        }
      });
      break;
    case 9:  // hills
      fill(c, green);
      overlay(c, [](art_canvas& l) {
        for (int k = 0; k < 2; ++k) {
          const double x = 0.3 + 0.4 * k, y = 0.5 + 0.35 * k;
          paint(l, light_green, [=](double u, double v) {
            return v < y && std::hypot((u - x) / 0.28, (v - y) / 0.3) <= 1;
          });
        }
      });
      break;
    case 10:  // mountains
      fill(c, green);
      overlay(c, [](art_canvas& l) {
        triangle(l, light_grey, 0.5, 0.08, 0.04, 0.92, 0.96, 0.92);
        triangle(l, dark_grey, 0.5, 0.08, 0.96, 0.92, 0.62, 0.92);
        triangle(l, white, 0.5, 0.08, 0.36, 0.34, 0.6, 0.34);
      });
      break;
    case 11:  // sand
      fill(c, yellow);
      for (int k = 0; k < 2; ++k) line(c, brown, 0.1, 0.3 + 0.4 * k, 0.6, 0.2 + 0.4 * k, 0.04);
      for (int k = 0; k < 5; ++k)
        oval(c, brown, 0.1 + 0.8 * chance(11, k), 0.1 + 0.8 * chance(12, k), 0.03, 0.03);
      break;
    case 12:  // lava
      fill(c, red);
      for (int k = 0; k < 4; ++k) {
        const double y = std::fmod(0.15 + 0.25 * k + 0.08 * frame, 1.0);
        oval(c, light_red, 0.2 + 0.6 * chance(21, k), y, 0.14, 0.08);
        oval(c, yellow, 0.2 + 0.6 * chance(21, k), y, 0.07, 0.04);
      }
      break;
    case 13:
      fill(c, white);
      tufts(c, light_blue, 5, 13);
      break;
    case 14:  // road
      fill(c, green);
      tufts(c, light_green, 4, 14);
      rect(c, brown, 0.3, 0, 0.7, 1);
      for (int k = 0; k < 4; ++k)
        oval(c, dark_grey, 0.36 + 0.28 * chance(14, k), 0.1 + 0.25 * k, 0.04, 0.03);
      break;
    default:  // bridge
      fill(c, light_blue);
      waves(c, white, 3, frame);
      rect(c, brown, 0.2, 0, 0.8, 1);
      for (int k = 0; k < 6; ++k) line(c, black, 0.2, k / 6.0, 0.8, k / 6.0, 0.02);
      rect(c, dark_grey, 0.16, 0, 0.24, 1);
      rect(c, dark_grey, 0.76, 0, 0.84, 1);
      break;
  }
}

// Walls, floors, doors and stairs.
void draw_building(art_canvas& c, int kind) {
  switch (kind) {
    case 0: bricks(c, red, light_grey, 4, 2); break;
    case 1: bricks(c, light_grey, dark_grey, 3, 3); break;
    case 2:  // planks
      fill(c, brown);
      paint(c, black, [&](double u, double v) {
        const int x = static_cast<int>(u * c.width), y = static_cast<int>(v * c.height);
        return starts_band(x, 4, c.width) ||
               (starts_band(y, 2, c.height) && (x * 4 / c.width) % 2 == 1);
      });
      break;
    case 3: chequer(c, light_grey, dark_grey, 4); break;
    case 4:
    case 5:  // door, locked door
      bricks(c, red, light_grey, 4, 2);
      oval(c, brown, 0.5, 0.36, 0.28, 0.18);
      rect(c, brown, 0.22, 0.36, 0.78, 1);
      line(c, black, 0.5, 0.2, 0.5, 1, 0.03);
      oval(c, yellow, 0.64, 0.62, 0.04, 0.04);
      if (kind == 5) {
        rect(c, yellow, 0.4, 0.5, 0.6, 0.7);
        oval(c, black, 0.5, 0.58, 0.03, 0.05);
      }
      break;
    case 6:  // window
      bricks(c, light_grey, dark_grey, 3, 3);
      rect(c, brown, 0.18, 0.18, 0.82, 0.82);
      rect(c, light_cyan, 0.25, 0.25, 0.75, 0.75);
      line(c, brown, 0.5, 0.25, 0.5, 0.75, 0.05);
      line(c, brown, 0.25, 0.5, 0.75, 0.5, 0.05);
      break;
    case 7:
    case 8:  // stairs up, stairs down
      fill(c, black);
      for (int k = 0; k < 5; ++k) {
        const double inset = kind == 7 ? 0.06 * k : 0.24 - 0.06 * k;
        rect(c, k % 2 ? dark_grey : light_grey, 0.1 + inset, 0.9 - 0.16 * (k + 1), 0.9 - inset,
             0.9 - 0.16 * k);
      }
      break;
    case 9:  // pillar
      chequer(c, light_grey, dark_grey, 4);
      overlay(c, [](art_canvas& l) {
        rect(l, light_grey, 0.36, 0.15, 0.64, 0.85);
        rect(l, white, 0.28, 0.08, 0.72, 0.18);
        rect(l, white, 0.28, 0.82, 0.72, 0.92);
        line(l, dark_grey, 0.57, 0.2, 0.57, 0.8, 0.04);
      });
      break;
    case 10:  // fence
      fill(c, green);
      tufts(c, light_green, 4, 10);
      overlay(c, [](art_canvas& l) {
        rect(l, brown, 0, 0.4, 1, 0.47);
        rect(l, brown, 0, 0.66, 1, 0.73);
        for (int k = 0; k < 3; ++k) rect(l, brown, 0.1 + 0.35 * k, 0.28, 0.2 + 0.35 * k, 0.9);
      });
      break;
    case 11:  // roof tiles
      fill(c, brown);
      for (int r = 0; r < 5; ++r) {
        for (int k = 0; k < 5; ++k) {
          oval(c, red, (k + 0.5 * (r % 2)) / 4, r / 4.0, 0.13, 0.2);
          oval(c, light_red, (k + 0.5 * (r % 2)) / 4 - 0.03, r / 4.0 - 0.05, 0.05, 0.06);
        }
      }
      break;
    case 12:  // portcullis
      fill(c, black);
      for (int k = 0; k < 4; ++k)
        line(c, dark_grey, 0.14 + 0.24 * k, 0, 0.14 + 0.24 * k, 0.9, 0.07);
      for (int k = 0; k < 3; ++k) line(c, light_grey, 0, 0.2 + 0.3 * k, 1, 0.2 + 0.3 * k, 0.05);
      break;
    case 13:  // cracked wall
      bricks(c, red, light_grey, 4, 2);
      line(c, black, 0.2, 0.1, 0.45, 0.4, 0.05);
      line(c, black, 0.45, 0.4, 0.35, 0.65, 0.05);
      line(c, black, 0.35, 0.65, 0.6, 0.95, 0.05);
      break;
    case 14: chequer(c, blue, light_blue, 2); break;
    default:  // carpet
      fill(c, yellow);
      rect(c, red, 0.08, 0.08, 0.92, 0.92);
      triangle(c, yellow, 0.5, 0.2, 0.25, 0.5, 0.75, 0.5);
      triangle(c, yellow, 0.5, 0.8, 0.25, 0.5, 0.75, 0.5);
      oval(c, red, 0.5, 0.5, 0.08, 0.08);
      break;
  }
}

// Things to pick up: weapons, keys, potions, treasure and tokens.
void draw_item(art_canvas& c, int kind, int frame) {
  switch (kind) {
    case 0:  // sword
      line(c, light_grey, 0.3, 0.7, 0.82, 0.18, 0.1);
      line(c, yellow, 0.18, 0.6, 0.4, 0.82, 0.08);
      line(c, brown, 0.14, 0.86, 0.28, 0.72, 0.08);
      break;
    case 1:  // shield
      rect(c, blue, 0.22, 0.14, 0.78, 0.5);
      triangle(c, blue, 0.22, 0.5, 0.78, 0.5, 0.5, 0.92);
      rect(c, yellow, 0.45, 0.18, 0.55, 0.8);
      rect(c, yellow, 0.28, 0.34, 0.72, 0.44);
      break;
    case 2:  // key
      oval(c, yellow, 0.28, 0.5, 0.18, 0.18);
      oval(c, clear, 0.28, 0.5, 0.07, 0.07);
      rect(c, yellow, 0.42, 0.45, 0.9, 0.55);
      rect(c, yellow, 0.7, 0.55, 0.76, 0.68);
      rect(c, yellow, 0.82, 0.55, 0.88, 0.72);
      break;
    case 3:  // potion
      oval(c, red, 0.5, 0.64, 0.26, 0.26);
      rect(c, light_grey, 0.42, 0.18, 0.58, 0.42);
      rect(c, brown, 0.4, 0.1, 0.6, 0.2);
      oval(c, light_red, 0.42, 0.56, 0.07, 0.07);
      break;
    case 4:  // gem
      triangle(c, light_cyan, 0.16, 0.4, 0.84, 0.4, 0.5, 0.9);
      triangle(c, cyan, 0.5, 0.4, 0.84, 0.4, 0.5, 0.9);
      rect(c, light_cyan, 0.32, 0.18, 0.68, 0.4);
      triangle(c, light_cyan, 0.16, 0.4, 0.32, 0.18, 0.32, 0.4);
      triangle(c, cyan, 0.84, 0.4, 0.68, 0.18, 0.68, 0.4);
      oval(c, white, 0.4, 0.28, 0.05, 0.05);
      break;
    case 5:  // ring
      oval(c, yellow, 0.5, 0.6, 0.28, 0.24);
      oval(c, clear, 0.5, 0.6, 0.16, 0.12);
      oval(c, red, 0.5, 0.32, 0.11, 0.11);
      break;
    case 6:  // coins
      for (int k = 0; k < 5; ++k) {
        const double x = 0.3 + 0.2 * (k % 3) + (k > 2 ? 0.1 : 0), y = k > 2 ? 0.45 : 0.65;
        oval(c, brown, x, y + 0.04, 0.14, 0.08);
        oval(c, yellow, x, y, 0.14, 0.08);
      }
      break;
    case 7:  // scroll
      rect(c, white, 0.24, 0.22, 0.76, 0.78);
      rect(c, brown, 0.18, 0.16, 0.82, 0.26);
      rect(c, brown, 0.18, 0.74, 0.82, 0.84);
      for (int k = 0; k < 3; ++k)
        line(c, dark_grey, 0.32, 0.36 + 0.13 * k, 0.68 - 0.1 * (k % 2), 0.36 + 0.13 * k, 0.03);
      break;
    case 8:  // bow and arrow
      paint(c, brown, [](double u, double v) {
        return u > 0.4 && std::abs(std::hypot(u - 0.2, v - 0.5) - 0.42) < 0.05;
      });
      line(c, light_grey, 0.42, 0.13, 0.42, 0.87, 0.02);
      line(c, light_grey, 0.2, 0.5, 0.86, 0.5, 0.04);
      triangle(c, white, 0.92, 0.5, 0.8, 0.42, 0.8, 0.58);
      break;
    case 9:  // axe
      line(c, brown, 0.3, 0.88, 0.62, 0.16, 0.08);
      triangle(c, light_grey, 0.56, 0.3, 0.88, 0.12, 0.84, 0.52);
      break;
    case 10:  // torch
      line(c, brown, 0.5, 0.92, 0.5, 0.45, 0.1);
      oval(c, red, 0.5, 0.3 - 0.03 * (frame % 2), 0.15, 0.2);
      oval(c, yellow, 0.5, 0.36, 0.07, 0.12);
      break;
    case 11:  // skull
      oval(c, white, 0.5, 0.42, 0.28, 0.26);
      rect(c, white, 0.36, 0.55, 0.64, 0.8);
      oval(c, black, 0.39, 0.45, 0.07, 0.08);
      oval(c, black, 0.61, 0.45, 0.07, 0.08);
      for (int k = 0; k < 3; ++k) line(c, black, 0.42 + 0.08 * k, 0.68, 0.42 + 0.08 * k, 0.8, 0.02);
      break;
    case 12:  // heart
      oval(c, red, 0.35, 0.38, 0.17, 0.17);
      oval(c, red, 0.65, 0.38, 0.17, 0.17);
      triangle(c, red, 0.19, 0.44, 0.81, 0.44, 0.5, 0.86);
      oval(c, light_red, 0.32, 0.34, 0.06, 0.06);
      break;
    case 13:  // star
      triangle(c, yellow, 0.5, 0.08, 0.14, 0.72, 0.86, 0.72);
      triangle(c, yellow, 0.5, 0.92, 0.14, 0.3, 0.86, 0.3);
      break;
    case 14:  // moon
      oval(c, yellow, 0.5, 0.5, 0.34, 0.34);
      oval(c, clear, 0.64, 0.4, 0.3, 0.3);
      break;
    default:  // crown
      rect(c, yellow, 0.18, 0.5, 0.82, 0.76);
      triangle(c, yellow, 0.18, 0.52, 0.4, 0.52, 0.22, 0.2);
      triangle(c, yellow, 0.38, 0.52, 0.62, 0.52, 0.5, 0.14);
      triangle(c, yellow, 0.6, 0.52, 0.82, 0.52, 0.78, 0.2);
      for (int k = 0; k < 3; ++k) oval(c, k == 1 ? blue : red, 0.3 + 0.2 * k, 0.63, 0.05, 0.06);
      break;
  }
  outline(c);
}

// Furniture and fixtures of towns and dungeons.
void draw_furnishing(art_canvas& c, int kind, int frame) {
  switch (kind) {
    case 0:  // chest
      oval(c, brown, 0.5, 0.42, 0.35, 0.14);
      rect(c, brown, 0.15, 0.42, 0.85, 0.85);
      rect(c, yellow, 0.15, 0.5, 0.85, 0.56);
      rect(c, yellow, 0.24, 0.3, 0.3, 0.85);
      rect(c, yellow, 0.7, 0.3, 0.76, 0.85);
      rect(c, yellow, 0.44, 0.5, 0.56, 0.66);
      break;
    case 1:  // barrel
      oval(c, brown, 0.5, 0.5, 0.32, 0.38);
      rect(c, brown, 0.25, 0.14, 0.75, 0.86);
      rect(c, dark_grey, 0.2, 0.28, 0.8, 0.33);
      rect(c, dark_grey, 0.2, 0.67, 0.8, 0.72);
      line(c, black, 0.5, 0.14, 0.5, 0.86, 0.02);
      break;
    case 2:  // table with a mug
      rect(c, brown, 0.08, 0.38, 0.92, 0.5);
      rect(c, brown, 0.14, 0.5, 0.22, 0.88);
      rect(c, brown, 0.78, 0.5, 0.86, 0.88);
      rect(c, light_grey, 0.56, 0.24, 0.68, 0.38);
      break;
    case 3:  // chair
      rect(c, brown, 0.3, 0.1, 0.38, 0.88);
      rect(c, brown, 0.3, 0.5, 0.74, 0.58);
      rect(c, brown, 0.66, 0.58, 0.74, 0.88);
      rect(c, red, 0.38, 0.2, 0.44, 0.5);
      break;
    case 4:  // bed
      rect(c, brown, 0.16, 0.08, 0.84, 0.92);
      rect(c, red, 0.2, 0.38, 0.8, 0.86);
      rect(c, white, 0.24, 0.14, 0.76, 0.32);
      rect(c, light_red, 0.2, 0.38, 0.8, 0.44);
      break;
    case 5:  // bookshelf
      rect(c, brown, 0.12, 0.06, 0.88, 0.94);
      for (int s = 0; s < 3; ++s) {
        rect(c, black, 0.18, 0.12 + 0.27 * s, 0.82, 0.34 + 0.27 * s);
        for (int k = 0; k < 5; ++k) {
          const std::uint8_t spines[4] = {red, blue, green, yellow};
          rect(c, spines[(k + s) % 4], 0.2 + 0.12 * k, 0.16 + 0.27 * s + 0.03 * (k % 2),
               0.29 + 0.12 * k, 0.34 + 0.27 * s);
        }
      }
      break;
    case 6:  // altar
      rect(c, light_grey, 0.16, 0.5, 0.84, 0.88);
      rect(c, white, 0.1, 0.44, 0.9, 0.52);
      rect(c, red, 0.4, 0.52, 0.6, 0.8);
      for (int k = 0; k < 2; ++k) {
        rect(c, white, 0.22 + 0.5 * k, 0.26, 0.28 + 0.5 * k, 0.44);
        oval(c, yellow, 0.25 + 0.5 * k, 0.2 - 0.02 * (frame % 2), 0.04, 0.06);
      }
      break;
    case 7:  // well
      triangle(c, brown, 0.1, 0.3, 0.9, 0.3, 0.5, 0.06);
      rect(c, brown, 0.2, 0.3, 0.26, 0.62);
      rect(c, brown, 0.74, 0.3, 0.8, 0.62);
      rect(c, light_grey, 0.14, 0.6, 0.86, 0.9);
      oval(c, blue, 0.5, 0.6, 0.33, 0.06);
      line(c, dark_grey, 0.14, 0.75, 0.86, 0.75, 0.03);
      break;
    case 8:  // fountain
      rect(c, light_grey, 0.12, 0.66, 0.88, 0.88);
      oval(c, light_cyan, 0.5, 0.66, 0.36, 0.07);
      rect(c, light_grey, 0.44, 0.36, 0.56, 0.66);
      oval(c, light_cyan, 0.5, 0.28 + 0.03 * (frame % 2), 0.22, 0.1);
      oval(c, white, 0.5, 0.22, 0.08, 0.08);
      break;
    case 9:  // campfire
      line(c, brown, 0.18, 0.88, 0.82, 0.7, 0.1);
      line(c, brown, 0.18, 0.7, 0.82, 0.88, 0.1);
      triangle(c, red, 0.24, 0.76, 0.76, 0.76, 0.5, 0.14 + 0.06 * (frame % 2));
      triangle(c, yellow, 0.36, 0.76, 0.64, 0.76, 0.5, 0.4);
      break;
    case 10:  // signpost
      rect(c, brown, 0.45, 0.45, 0.55, 0.92);
      rect(c, yellow, 0.12, 0.16, 0.88, 0.5);
      line(c, brown, 0.24, 0.27, 0.76, 0.27, 0.04);
      line(c, brown, 0.24, 0.39, 0.6, 0.39, 0.04);
      break;
    case 11:  // gravestone
      oval(c, light_grey, 0.5, 0.34, 0.26, 0.2);
      rect(c, light_grey, 0.24, 0.34, 0.76, 0.86);
      rect(c, dark_grey, 0.46, 0.28, 0.54, 0.66);
      rect(c, dark_grey, 0.36, 0.38, 0.64, 0.45);
      rect(c, green, 0.1, 0.86, 0.9, 0.94);
      break;
    case 12:  // statue
      rect(c, dark_grey, 0.24, 0.72, 0.76, 0.92);
      oval(c, light_grey, 0.5, 0.2, 0.1, 0.1);
      rect(c, light_grey, 0.38, 0.3, 0.62, 0.72);
      line(c, light_grey, 0.6, 0.36, 0.8, 0.12, 0.08);
      break;
    case 13:  // street lamp
      rect(c, dark_grey, 0.46, 0.3, 0.54, 0.88);
      rect(c, dark_grey, 0.36, 0.86, 0.64, 0.94);
      rect(c, yellow, 0.38, 0.14, 0.62, 0.3);
      triangle(c, dark_grey, 0.32, 0.15, 0.68, 0.15, 0.5, 0.04);
      break;
    case 14:  // anvil
      rect(c, dark_grey, 0.22, 0.34, 0.82, 0.48);
      triangle(c, dark_grey, 0.04, 0.34, 0.22, 0.34, 0.22, 0.48);
      rect(c, dark_grey, 0.4, 0.48, 0.64, 0.7);
      rect(c, dark_grey, 0.28, 0.7, 0.76, 0.82);
      line(c, light_grey, 0.2, 0.36, 0.8, 0.36, 0.02);
      break;
    default:  // cauldron
      oval(c, dark_grey, 0.5, 0.6, 0.34, 0.28);
      rect(c, dark_grey, 0.14, 0.32, 0.86, 0.4);
      oval(c, light_green, 0.5, 0.36, 0.3, 0.05);
      for (int k = 0; k < 3; ++k)
        oval(c, light_green, 0.34 + 0.16 * k, 0.22 - 0.06 * ((k + frame) % 2), 0.05, 0.05);
      break;
  }
  outline(c);
}

// A standing figure: legs or a robe, arms, head, headwear and what it carries.
void draw_person(art_canvas& c, const person_look& p, int frame) {
  const std::uint8_t skin = light_red;
  const double step = 0.05 * (frame % 2);
  if (p.robe) {
    triangle(c, p.body, 0.5, 0.3, 0.24, 0.92, 0.76, 0.92);
    rect(c, p.body, 0.37, 0.32, 0.63, 0.6);
  } else {
    rect(c, p.legs, 0.38, 0.6, 0.48, 0.92 - step);
    rect(c, p.legs, 0.52, 0.6, 0.62, 0.87 + step);
    rect(c, p.body, 0.35, 0.33, 0.65, 0.64);
    rect(c, brown, 0.35, 0.54, 0.65, 0.58);
  }
  rect(c, p.body, 0.27, 0.35, 0.35, 0.58);
  rect(c, p.body, 0.65, 0.35, 0.73, 0.58);
  oval(c, skin, 0.31, 0.61, 0.05, 0.04);
  oval(c, skin, 0.69, 0.61, 0.05, 0.04);
  if (p.head == hood) oval(c, p.hat, 0.5, 0.2, 0.15, 0.15);
  oval(c, skin, 0.5, 0.22, 0.11, 0.11);
  if (c.width >= 24) {
    rect(c, black, 0.43, 0.2, 0.47, 0.24);
    rect(c, black, 0.53, 0.2, 0.57, 0.24);
  }
  switch (p.head) {
    case pointed_hat:
      triangle(c, p.hat, 0.34, 0.15, 0.66, 0.15, 0.54, -0.04);
      rect(c, p.hat, 0.28, 0.12, 0.72, 0.17);
      break;
    case helmet:
      oval(c, p.hat, 0.5, 0.15, 0.13, 0.08);
      rect(c, p.hat, 0.37, 0.14, 0.63, 0.18);
      line(c, p.hat, 0.5, 0.18, 0.5, 0.28, 0.03);
      break;
    case crown_hat:
      rect(c, yellow, 0.38, 0.07, 0.62, 0.13);
      triangle(c, yellow, 0.38, 0.08, 0.46, 0.08, 0.38, 0.01);
      triangle(c, yellow, 0.54, 0.08, 0.62, 0.08, 0.62, 0.01);
      break;
    case cap: oval(c, p.hat, 0.5, 0.13, 0.13, 0.06); break;
    default: break;
  }
  switch (p.carried) {
    case sword:
      line(c, light_grey, 0.78, 0.58, 0.86, 0.2, 0.06);
      line(c, yellow, 0.72, 0.55, 0.85, 0.58, 0.04);
      break;
    case staff:
      line(c, brown, 0.8, 0.1, 0.8, 0.92, 0.05);
      oval(c, light_cyan, 0.8, 0.1, 0.06, 0.06);
      break;
    case bow:
      paint(c, brown, [](double u, double v) {
        return u < 0.26 && std::abs(std::hypot(u - 0.42, v - 0.5) - 0.26) < 0.04;
      });
      break;
    case shield:
      oval(c, blue, 0.26, 0.54, 0.13, 0.17);
      oval(c, yellow, 0.26, 0.54, 0.04, 0.05);
      break;
    case spear:
      line(c, brown, 0.8, 0.14, 0.8, 0.94, 0.04);
      triangle(c, light_grey, 0.8, 0.02, 0.74, 0.16, 0.86, 0.16);
      break;
    default: break;
  }
  outline(c);
}

// Monsters: slime, bat, snake, ghost, skeleton, spider, wolf, dragon.
void draw_creature(art_canvas& c, int kind, int frame) {
  const int up = frame % 2;
  switch (kind) {
    case 0:  // slime
      oval(c, light_green, 0.5, 0.66, 0.36 + 0.04 * up, 0.26 - 0.04 * up);
      rect(c, light_green, 0.14 - 0.04 * up, 0.66, 0.86 + 0.04 * up, 0.88);
      oval(c, black, 0.4, 0.62, 0.05, 0.07);
      oval(c, black, 0.6, 0.62, 0.05, 0.07);
      oval(c, white, 0.3, 0.55, 0.05, 0.04);
      break;
    case 1:  // bat
      triangle(c, dark_grey, 0.45, 0.45, 0.04, 0.25 + 0.35 * up, 0.28, 0.65);
      triangle(c, dark_grey, 0.55, 0.45, 0.96, 0.25 + 0.35 * up, 0.72, 0.65);
      oval(c, dark_grey, 0.5, 0.5, 0.12, 0.16);
      triangle(c, dark_grey, 0.4, 0.4, 0.46, 0.4, 0.4, 0.26);
      triangle(c, dark_grey, 0.54, 0.4, 0.6, 0.4, 0.6, 0.26);
      oval(c, red, 0.45, 0.46, 0.03, 0.03);
      oval(c, red, 0.55, 0.46, 0.03, 0.03);
      break;
    case 2:  // snake
      paint(c, green, [=](double u, double v) {
        return u > 0.08 && u < 0.78 &&
               std::abs(v - 0.66 - 0.12 * std::sin(2 * pi * (1.4 * u + 0.25 * up))) < 0.07;
      });
      oval(c, green, 0.8, 0.42, 0.12, 0.09);
      oval(c, yellow, 0.82, 0.39, 0.03, 0.03);
      line(c, red, 0.9, 0.45, 0.98, 0.5, 0.02);
      break;
    case 3:  // ghost
      oval(c, white, 0.5, 0.4, 0.3, 0.28);
      rect(c, white, 0.2, 0.4, 0.8, 0.84);
      for (int k = 0; k < 3; ++k)
        triangle(c, clear, 0.2 + 0.2 * k + 0.1, 0.72 + 0.04 * up, 0.2 + 0.2 * k, 0.86,
                 0.4 + 0.2 * k, 0.86);
      oval(c, black, 0.4, 0.42, 0.06, 0.08);
      oval(c, black, 0.6, 0.42, 0.06, 0.08);
      oval(c, black, 0.5, 0.6, 0.05, 0.06);
      break;
    case 4:  // skeleton
      oval(c, white, 0.5, 0.18, 0.11, 0.11);
      line(c, white, 0.5, 0.28, 0.5, 0.6, 0.05);
      for (int k = 0; k < 3; ++k)
        line(c, white, 0.38, 0.35 + 0.08 * k, 0.62, 0.35 + 0.08 * k, 0.03);
      line(c, white, 0.38, 0.34, 0.26, 0.5 - 0.1 * up, 0.04);
      line(c, white, 0.62, 0.34, 0.74, 0.5 - 0.1 * (1 - up), 0.04);
      rect(c, white, 0.4, 0.58, 0.6, 0.64);
      line(c, white, 0.42, 0.64, 0.38, 0.92, 0.04);
      line(c, white, 0.58, 0.64, 0.62, 0.92, 0.04);
      oval(c, black, 0.46, 0.17, 0.03, 0.03);
      oval(c, black, 0.54, 0.17, 0.03, 0.03);
      break;
    case 5:  // spider
      for (int k = 0; k < 4; ++k) {
        for (int side = -1; side <= 1; side += 2) {
          const double y = 0.4 + 0.1 * k, knee = 0.5 + side * 0.28;
          line(c, dark_grey, 0.5, y, knee, y - 0.14 + 0.04 * ((k + up) % 2), 0.04);
          line(c, dark_grey, knee, y - 0.14 + 0.04 * ((k + up) % 2), 0.5 + side * 0.42, y + 0.16,
               0.04);
        }
      }
      oval(c, dark_grey, 0.5, 0.6, 0.16, 0.18);
      oval(c, dark_grey, 0.5, 0.36, 0.1, 0.09);
      oval(c, red, 0.46, 0.34, 0.025, 0.025);
      oval(c, red, 0.54, 0.34, 0.025, 0.025);
      oval(c, red, 0.5, 0.62, 0.05, 0.07);
      break;
    case 6:  // wolf
      line(c, light_grey, 0.2, 0.5, 0.06, 0.36 + 0.06 * up, 0.06);
      oval(c, light_grey, 0.46, 0.56, 0.28, 0.14);
      for (int k = 0; k < 4; ++k)
        rect(c, light_grey, 0.24 + 0.14 * k, 0.62, 0.3 + 0.14 * k, 0.86 - 0.04 * ((k + up) % 2));
      oval(c, light_grey, 0.74, 0.42, 0.12, 0.1);
      triangle(c, light_grey, 0.8, 0.38, 0.96, 0.46, 0.8, 0.5);
      triangle(c, light_grey, 0.66, 0.36, 0.74, 0.34, 0.68, 0.22);
      oval(c, black, 0.78, 0.4, 0.025, 0.025);
      break;
    default:  // dragon
      line(c, red, 0.28, 0.66, 0.04, 0.86, 0.07);
      triangle(c, light_red, 0.32, 0.5, 0.6, 0.5, 0.28, 0.08 + 0.14 * up);
      oval(c, red, 0.45, 0.62, 0.24, 0.15);
      line(c, red, 0.58, 0.56, 0.74, 0.3, 0.12);
      oval(c, red, 0.78, 0.24, 0.12, 0.08);
      rect(c, red, 0.3, 0.7, 0.38, 0.9);
      rect(c, red, 0.52, 0.7, 0.6, 0.9);
      line(c, yellow, 0.3, 0.7, 0.6, 0.7, 0.03);
      oval(c, yellow, 0.8, 0.22, 0.025, 0.025);
      break;
  }
  outline(c);
}

// A numbered marker tile: two white digits on black in a frame of one of eight colours.
void draw_numbered(art_canvas& c, int number) {
  constexpr std::uint8_t frames[8] = {blue, green, cyan, red, magenta, brown, light_grey, yellow};
  fill(c, frames[number % 8]);
  rect(c, black, 2.0 / 16, 2.0 / 16, 14.0 / 16, 14.0 / 16);
  draw_digits(c, white, number);
}

// Surf along the edges in `edges` (bit 0 north, 1 east, 2 south, 3 west)
// over see-through ground, the waterline moving from frame to frame.
void draw_shore(art_canvas& c, int edges, int frame) {
  for (int side = 0; side < 4; ++side) {
    if ((edges >> side & 1) == 0) continue;
    auto depth = [=](double u, double v) {  // distance from the edge, and the position along it
      const double d[4] = {v, 1 - u, 1 - v, u};
      const double along = side % 2 ? v : u;
      return d[side] - 0.05 * std::sin(2 * pi * (2 * along + frame / 3.0));
    };
    paint(c, white, [=](double u, double v) { return depth(u, v) < 0.28; });
    paint(c, light_blue, [=](double u, double v) { return depth(u, v) < 0.2; });
  }
}

// One frame of a spark burst: eight rays around a bright core, growing and thinning out.
void draw_spark(art_canvas& c, int k) {
  const int step = k % 16;
  const std::uint8_t rays = k < 16 ? yellow : light_cyan, glow = k < 16 ? light_red : light_blue;
  const double reach = 0.12 + 0.024 * step;
  for (int j = 0; j < 8; ++j) {
    if (step > 10 && j % 2 == 1) continue;
    const double a = j * pi / 4 + step * 0.1;
    line(c, j % 2 ? glow : rays, 0.5 + 0.4 * reach * std::cos(a), 0.5 + 0.4 * reach * std::sin(a),
         0.5 + reach * std::cos(a), 0.5 + reach * std::sin(a), 0.05);
  }
  if (step < 12) oval(c, white, 0.5, 0.5, 0.12 - 0.008 * step, 0.12 - 0.008 * step);
}

}  // namespace

art_canvas draw_sample_tile(int number, int frame, int width, int height) {
  art_canvas c{width, height,
               std::vector<std::uint8_t>(static_cast<std::size_t>(width * height), clear)};
  if (number >= 320) {
    draw_spark(c, (number - 320) % 32);
    return c;
  }
  if (number >= 256) {
    draw_shore(c, number % 16, frame);
    return c;
  }
  const tile_row& row = tile_rows[static_cast<std::size_t>(number / 16)];
  const int place = number % 16;
  switch (row.drawn) {
    case terrain: draw_terrain(c, place, frame); break;
    case building: draw_building(c, place); break;
    case item: draw_item(c, place, frame); break;
    case furnishing: draw_furnishing(c, place, frame); break;
    case person: draw_person(c, people[static_cast<std::size_t>(place)], frame); break;
    case creature: draw_creature(c, place % 8, frame); break;
    case numbered: draw_numbered(c, number - 224); break;
  }
  const ink_map* scheme = place < 8 ? row.left_scheme : row.right_scheme;
  if (scheme != nullptr) recolour(c, *scheme);
  return c;
}
