// Shape table facts and output names.
#include "pc98/pc98.h"

#include <gtest/gtest.h>

#include <vector>

#include "testing/testing.h"

TEST(pc98_shape_table, records_cover_each_shape_file_once_and_name_their_stand_ins) {
  std::vector<int> used[2] = {std::vector<int>(108160), std::vector<int>(62464)};
  std::vector<int> empty;
  for (int i = 0; i < 368; ++i) {
    const pc98_shape& s = pc98_shape_table[static_cast<std::size_t>(i)];
    if (s.disk == 0) { empty.push_back(i); continue; }
    ASSERT_TRUE((s.disk == 1 || s.disk == 2) && (s.planes == 3 || s.planes == 4)) << i;
    std::vector<int>& file = used[s.disk - 1];
    ASSERT_LE(static_cast<std::size_t>(s.offset + s.planes * 128), file.size()) << i;
    for (int b = s.offset; b < s.offset + s.planes * 128; ++b) ++file[static_cast<std::size_t>(b)];
    // Rows 0-15 and 17 stand for themselves, rows 19 and 20 take the cell
    // of row 17 in their column, rows 16 and 18 a cell of rows 0-15.
    const int row = i / 16;
    const int own = row <= 15 || row == 17 ? i : row == 19 || row == 20 ? 17 * 16 + i % 16 : -1;
    EXPECT_TRUE(own >= 0 ? s.cell == own : row > 18 || s.cell < 256) << i;
  }
  // The first 512 bytes of "ocshape.pat" hold no record.
  for (std::size_t b = 0; b < used[0].size(); ++b) ASSERT_EQ(used[0][b], b < 512 ? 0 : 1) << b;
  for (std::size_t b = 0; b < used[1].size(); ++b) ASSERT_EQ(used[1][b], 1) << b;
  EXPECT_EQ(empty, (std::vector<int>{68, 69, 70, 71, 270, 271, 272, 300, 301, 302, 303, 304, 320, 364, 365, 366, 367}));
}

TEST(pc98_new_filename, inserts_new_before_extension_of_last_component) {
  const std::pair<const char*, const char*> cases[] = {
      {"disk.a.fdi", "disk.a.NEW.fdi"}, {"v1.2/disk", "v1.2/disk.NEW"},
      {"v1.2\\d.fdi", "v1.2\\d.NEW.fdi"}, {"", ".NEW"},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(make_new_filename(name), expected) << name;
}
