// Shape table facts, tile coding and output names.
#include "pc98/pc98.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "testing/testing.h"

TEST(pc98_shape_table, records_cover_each_shape_file_exactly_once) {
  std::vector<int> used[2] = {std::vector<int>(108160), std::vector<int>(62464)};
  std::vector<int> empty;
  for (int i = 0; i < 368; ++i) {
    const pc98_shape& s = pc98_shape_table[static_cast<std::size_t>(i)];
    if (s.disk == 0) empty.push_back(i);
    if (s.disk == 0) continue;
    ASSERT_TRUE((s.disk == 1 || s.disk == 2) && (s.planes == 3 || s.planes == 4)) << i;
    std::vector<int>& file = used[s.disk - 1];
    ASSERT_LE(static_cast<std::size_t>(s.offset + s.planes * 128), file.size()) << i;
    for (int b = s.offset; b < s.offset + s.planes * 128; ++b) ++file[static_cast<std::size_t>(b)];
  }
  // The first 512 bytes of "ocshape.pat" hold no record.
  for (std::size_t b = 0; b < used[0].size(); ++b) ASSERT_EQ(used[0][b], b < 512 ? 0 : 1) << b;
  for (std::size_t b = 0; b < used[1].size(); ++b) ASSERT_EQ(used[1][b], 1) << b;
  EXPECT_EQ(empty, (std::vector<int>{68, 69, 70, 71, 270, 271, 272, 300, 301, 302, 303, 304, 320,
                                     364, 365, 366, 367}));
  // Colour index bits: blue 1, red 2, green 4 (palette bytes blue, green, red).
  EXPECT_EQ(pc98_palette[1 * 4 + 0] + pc98_palette[2 * 4 + 2] + pc98_palette[4 * 4 + 1], 3 * 0xFF);
}

TEST(pc98_tile, draw_and_pack_are_inverse) {
  bytes sheet(512 * 736);
  for (int planes : {3, 4}) {
    const bytes record = pattern_bytes(static_cast<std::size_t>(planes) * 128, 1);
    bytes packed(record.size());
    std::fill(sheet.begin(), sheet.end(), 0);
    ASSERT_EQ(draw_pc98_tile(22, 15, record, planes, sheet), 0);
    ASSERT_EQ(pack_pc98_tile(22, 15, packed, planes, sheet), 0);
    EXPECT_EQ(packed, record);
  }
  bytes record(511);
  EXPECT_EQ(draw_pc98_tile(0, 0, record, 4, sheet), -1);
  EXPECT_EQ(pack_pc98_tile(23, 0, record, 3, sheet), -1);
}

TEST(pc98_new_filename, inserts_new_before_extension_of_last_component) {
  const std::pair<const char*, const char*> cases[] = {
      {"disk.a.fdi", "disk.a.NEW.fdi"}, {"v1.2/disk", "v1.2/disk.NEW"},
      {"v1.2\\d.fdi", "v1.2\\d.NEW.fdi"}, {"", ".NEW"},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(make_new_filename(name), expected) << name;
}
