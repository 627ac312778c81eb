// Constant tables of the Apple II disk containers.
#include "disk/disk.h"

namespace {

// 6-and-2 code: the 64 disk nibbles in value order. Each has its top bit
// set, at most one pair of neighbouring zero bits and a pair of
// neighbouring one bits below the top one; D5 and AA, the field marks, are
// left out.
// clang-format off
constexpr std::array<std::uint8_t, 64> nibbles = {
    0x96, 0x97, 0x9A, 0x9B, 0x9D, 0x9E, 0x9F, 0xA6, 0xA7, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB2, 0xB3,
    0xB4, 0xB5, 0xB6, 0xB7, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xCB, 0xCD, 0xCE, 0xCF, 0xD3,
    0xD6, 0xD7, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE5, 0xE6, 0xE7, 0xE9, 0xEA, 0xEB, 0xEC,
    0xED, 0xEE, 0xEF, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
// clang-format on

// The inverse of `nibbles`, 0xFF for every other byte.
constexpr std::array<std::uint8_t, 256> invert(const std::array<std::uint8_t, 64>& code) {
  std::array<std::uint8_t, 256> values{};
  values.fill(0xFF);
  for (std::size_t v = 0; v < code.size(); ++v) values[code[v]] = static_cast<std::uint8_t>(v);
  return values;
}

// Whether `code` lists, rising, exactly the bytes the rule above allows.
constexpr bool lists_the_allowed_bytes(const std::array<std::uint8_t, 64>& code) {
  std::size_t next = 0;
  for (int v = 0x80; v < 0x100; ++v) {
    int zero_pairs = 0;
    int one_pairs = 0;
    for (int bit = 0; bit < 7; ++bit) {
      const int pair = v >> bit & 3;
      zero_pairs += pair == 0;
      one_pairs += pair == 3 && bit < 6;
    }
    if (zero_pairs > 1 || one_pairs == 0 || v == 0xD5 || v == 0xAA) continue;
    if (next == code.size() || code[next] != v) return false;
    ++next;
  }
  return next == code.size();
}

constexpr bool is_permutation_of_16(const std::array<std::uint8_t, 16>& map) {
  std::array<bool, 16> seen{};
  for (std::uint8_t s : map) {
    if (s > 15 || seen[s]) return false;
    seen[s] = true;
  }
  return true;
}

}  // namespace

constexpr std::array<std::uint8_t, 64> gcr62_nibbles = nibbles;
constexpr std::array<std::uint8_t, 256> gcr62_values = invert(nibbles);

// clang-format off
constexpr std::array<plain_layout, 4> plain_layouts = {{
    {container_kind::fdi, fdi_header_bytes, 1024},
    {container_kind::hdm,                0, 1024},
    {container_kind::xdf,                0, 1024},
    {container_kind::dsk,                0,  256},
}};
// clang-format on

const plain_layout& find_plain_layout(container_kind kind) {
  for (const plain_layout& layout : plain_layouts) {
    if (layout.kind == kind) return layout;
  }
  return plain_layouts.back();
}

// clang-format off
constexpr std::array<std::uint8_t, 16> dos_physical_to_logical = {0, 7, 14, 6, 13, 5, 12, 4, 11, 3, 10, 2, 9, 1, 8, 15};
constexpr std::array<std::uint8_t, 16> dsk_dos_places =          {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr std::array<std::uint8_t, 16> dsk_prodos_places =       {0, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 15};
// clang-format on

static_assert(lists_the_allowed_bytes(nibbles),
              "the 6-and-2 nibbles are the bytes the code allows");
static_assert(invert(nibbles)[0x96] == 0 && invert(nibbles)[0xFF] == 63 &&
                  invert(nibbles)[0xD5] == 0xFF && invert(nibbles)[0xAA] == 0xFF,
              "the field marks D5 and AA are no 6-and-2 nibbles");
static_assert(is_permutation_of_16(dos_physical_to_logical) &&
                  is_permutation_of_16(dsk_dos_places) && is_permutation_of_16(dsk_prodos_places),
              "each sector map names every sector once");
static_assert(plain_layouts[1].sector_bytes * 8 * 154 == hdm_file_bytes,
              "an HDM is the whole 2HD volume");
static_assert(dsk_prodos_places[0] == 0 && dsk_prodos_places[15] == 15,
              "sectors 0 and 15 lie at the same place in both orders");
