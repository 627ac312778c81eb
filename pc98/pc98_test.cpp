// Shape table facts, tile coding and output names.
#include "pc98/pc98.h"

#include <gtest/gtest.h>

#include <vector>

#include "testing/testing.h"

TEST(pc98_shape_table, records_tile_each_shape_file_exactly_once) {
  std::vector<int> used[2] = {std::vector<int>(108160), std::vector<int>(62464)};
  int records[2] = {0, 0};
  int three_planes = 0;
  std::vector<int> empty;
  for (int i = 0; i < 368; ++i) {
    const pc98_shape& s = pc98_shape_table[static_cast<std::size_t>(i)];
    if (s.disk == 0) {
      EXPECT_TRUE(s.cell == 0 && s.planes == 0 && s.offset == 0) << i;
      empty.push_back(i);
      continue;
    }
    ASSERT_TRUE((s.disk == 1 || s.disk == 2) && (s.planes == 3 || s.planes == 4)) << i;
    std::vector<int>& file = used[s.disk - 1];
    ASSERT_LE(static_cast<std::size_t>(s.offset + s.planes * 128), file.size()) << i;
    for (int b = s.offset; b < s.offset + s.planes * 128; ++b) ++file[static_cast<std::size_t>(b)];
    ++records[s.disk - 1];
    three_planes += s.planes == 3;
    // Stand-ins: rows 0-15 and 17 name themselves, 19 and 20 the cell of row
    // 17 above them, 21 and 22 cell 0, 16 and 18 a cell of rows 0-15.
    const int row = i / 16;
    const int own = row < 16 || row == 17 ? i : row == 19 || row == 20 ? 272 + i % 16 : 0;
    EXPECT_TRUE(row == 16 || row == 18 ? s.cell < 256 : s.cell == own) << i;
  }
  EXPECT_EQ(records[0], 229);
  EXPECT_EQ(records[1], 122);
  EXPECT_EQ(three_planes, 75);
  for (std::size_t b = 0; b < used[0].size(); ++b) ASSERT_EQ(used[0][b], b < 512 ? 0 : 1) << b;
  for (std::size_t b = 0; b < used[1].size(); ++b) ASSERT_EQ(used[1][b], 1) << b;
  // Row 4 columns 4-7, row 16 columns 14-15, column 0 of rows 17, 19 and 20,
  // rows 18 and 22 columns 12-15.
  EXPECT_EQ(empty, (std::vector<int>{68, 69, 70, 71, 270, 271, 272, 300, 301, 302, 303, 304, 320,
                                     364, 365, 366, 367}));
  // Colour index bits: blue 1, red 2, green 4 (palette bytes blue, green, red).
  EXPECT_EQ(pc98_palette[1 * 4 + 0] + pc98_palette[2 * 4 + 2] + pc98_palette[4 * 4 + 1], 3 * 0xFF);
}

TEST(pc98_tile, draw_and_pack_are_inverse) {
  const std::size_t sheet_bytes = 512 * 736;
  const bytes random = pattern_bytes(sheet_bytes, 7);
  std::vector<std::uint8_t> pixels(sheet_bytes);
  for (std::size_t p = 0; p < sheet_bytes; ++p) pixels[p] = random[p] & 15;
  for (int planes : {3, 4}) {
    // Record -> cell -> record is the identity; bit 7 is the leftmost pixel,
    // the first plane blue (3 planes) or the mask (4 planes).
    const bytes record = pattern_bytes(static_cast<std::size_t>(planes) * 128, 1);
    std::vector<std::uint8_t> sheet(sheet_bytes, 0);
    ASSERT_EQ(draw_pc98_tile(22, 15, record, planes, sheet), 0);
    bytes packed(record.size());
    ASSERT_EQ(pack_pc98_tile(22, 15, packed, planes, sheet), 0);
    EXPECT_EQ(packed, record);
    const int first_bit = planes == 3 ? 1 : 8;
    EXPECT_EQ((sheet[704 * 512 + 480] & first_bit) != 0, (record[0] & 0x80) != 0);
    EXPECT_EQ((sheet[704 * 512 + 487] & first_bit) != 0, (record[0] & 0x01) != 0);
    // Cell -> record -> cell keeps the pixels, less the mask bit with 3 planes.
    ASSERT_EQ(pack_pc98_tile(5, 9, packed, planes, pixels), 0);
    std::fill(sheet.begin(), sheet.end(), 0);
    ASSERT_EQ(draw_pc98_tile(5, 9, packed, planes, sheet), 0);
    for (std::size_t y = 160; y < 192; ++y) {
      for (std::size_t x = 288; x < 320; ++x) {
        ASSERT_EQ(sheet[y * 512 + x], pixels[y * 512 + x] & (planes == 3 ? 7 : 15))
            << x << "," << y;
      }
    }
  }
  bytes record(511);
  EXPECT_EQ(draw_pc98_tile(0, 0, record, 4, pixels), -1);
  EXPECT_EQ(pack_pc98_tile(23, 0, record, 3, pixels), -1);
}

TEST(pc98_new_filename, inserts_new_before_extension_of_last_component) {
  const std::pair<const char*, const char*> cases[] = {
      {"KV_Mirath.fdi", "KV_Mirath.NEW.fdi"},
      {"disk.a.fdi", "disk.a.NEW.fdi"},
      {"disk1", "disk1.NEW"},
      {"v1.2/disk", "v1.2/disk.NEW"},
      {"v1.2\\d.fdi", "v1.2\\d.NEW.fdi"},
      {"", ".NEW"},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(make_new_filename(name), expected) << name;
}
