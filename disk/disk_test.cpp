#include "disk/disk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "testing/container_builder.h"
#include "testing/testing.h"

namespace {

// Every sector different: a 2HD volume of 154 tracks, a 35-track Apple II image.
const bytes volume = pattern_bytes(1232 * 1024, 7);
const dos33_image image = [] {
  dos33_image made;
  made.data = pattern_bytes(made.data.size(), 8);
  return made;
}();

std::pair<int, std::string> open_bytes(disk_container& disk, const bytes& file, disk_family family) {
  return result_and_output([&] { return open_disk_container(disk, file, "disk.img", family); });
}

// Why sector n cannot be used (the end of its fault line), or "present".
std::string state_of(const disk_container& disk, std::int32_t n) {
  const std::string line = capture_stdout([&] { print_sector_fault(disk, n); });
  return line.empty() ? "present" : line.substr(line.rfind(": ") + 2, line.size() - line.rfind(": ") - 3);
}

// Each sector of `plain` (8 or 16 a track) but those of `absent_tracks`.
void expect_sectors(const disk_container& disk, const bytes& plain, int per_track, const std::vector<int>& absent_tracks = {}) {
  const auto size = static_cast<std::size_t>(disk.sector_bytes);
  ASSERT_EQ(disk.sectors.size(), plain.size() / size);
  for (std::int32_t n = 0; n < static_cast<std::int32_t>(disk.sectors.size()); ++n) {
    const std::uint8_t* sector = find_sector(disk, n);
    if (std::count(absent_tracks.begin(), absent_tracks.end(), n / per_track) != 0) {
      EXPECT_EQ(state_of(disk, n), "absent") << n;
    } else {
      ASSERT_NE(sector, nullptr) << n << " " << state_of(disk, n);
      const auto at = static_cast<std::ptrdiff_t>(static_cast<std::size_t>(n) * size);
      ASSERT_TRUE(std::equal(sector, sector + size, plain.begin() + at)) << "sector " << n;
    }
  }
}

TEST(disk_containers, give_the_sectors_of_the_plain_image_and_save_unchanged) {
  // A DSK's order is the caller's choice, a 2MG's its header's; NIB and WOZ
  // sectors are read only. Saving an unchanged container gives the file.
  const struct {
    std::string name; bytes file; disk_family family; container_kind kind; int order; std::vector<int> absent;
  } cases[] = {
      {"FDI", make_fdi(volume), disk_family::pc98, container_kind::fdi, 0, {}},
      {"XDF", volume, disk_family::x68k, container_kind::xdf, 0, {}},
      {"D88", make_d88(volume), disk_family::pc98, container_kind::d88, 0, {}},
      {"D88 0x2A0, ends", make_d88(volume, {0x2A0, true, false, {0, 17}}), disk_family::x68k, container_kind::d88, 0, {0, 17}},
      {"D88 protected", make_d88(volume, {0x2B0, false, true, {3, 153}}), disk_family::pc98, container_kind::d88, 0, {3, 153}},
      {"NFD r0", make_nfd(volume, 0), disk_family::pc98, container_kind::nfd, 0, {}},
      {"NFD r1", make_nfd(volume, 1, 2), disk_family::pc98, container_kind::nfd, 0, {}},
      {"DIM", make_dim(volume, {1, 100}), disk_family::x68k, container_kind::dim, 0, {1, 100}},
      {"DSK DOS", image.as_dos_order(), disk_family::apple2, container_kind::dsk, 1, {}},
      {"DSK ProDOS", image.as_prodos_order(), disk_family::apple2, container_kind::dsk, 2, {}},
      {"2MG DOS", make_2mg(image, 0), disk_family::apple2, container_kind::image_2mg, 1, {}},
      {"2MG ProDOS", make_2mg(image, 1), disk_family::apple2, container_kind::image_2mg, 2, {}},
      {"2MG NIB", make_2mg(image, 2), disk_family::apple2, container_kind::image_2mg, 0, {}},
      {"NIB", make_nib(image), disk_family::apple2, container_kind::nib, 0, {}},
      {"WOZ1", make_woz(image, 1), disk_family::apple2, container_kind::woz, 0, {}},
      {"WOZ2", make_woz(image, 2), disk_family::apple2, container_kind::woz, 0, {}},
  };
  temp_dir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    disk_container disk;
    EXPECT_EQ(open_bytes(disk, c.file, c.family), std::make_pair(0, std::string()));
    EXPECT_EQ(std::pair(disk.kind, disk.write_protected), std::pair(c.kind, c.name == "D88 protected"));
    if (c.family != disk_family::apple2) {
      expect_sectors(disk, volume, 8, c.absent);
    } else {
      if (c.kind == container_kind::dsk) map_apple_order(disk, c.order);
      EXPECT_EQ(std::pair(disk.sector_order, find_writable_sector(disk, 0) != nullptr), std::pair(c.order, c.order != 0));
      expect_sectors(disk, image.data, 16);
    }
    ASSERT_EQ(save_disk_container(disk, (dir / "saved").string()), 0);
    EXPECT_EQ(read_file(dir / "saved"), c.file);
  }
}

TEST(disk_containers, place_dsk_sectors_of_any_length) {
  // A DSK of 18 tracks, 3 sectors and a bit: DOS order holds sectors 0-2 of
  // track 18, ProDOS order its sectors 0, 14 and 13 (places 0-2).
  disk_container disk;
  ASSERT_EQ(open_bytes(disk, bytes(18 * 4096 + 3 * 256 + 100), disk_family::apple2).first, 0);
  auto held = [&] {
    std::string text;
    for (int n = 18 * 16; n < 19 * 16; ++n) text += find_sector(disk, n) != nullptr ? '1' : '0';
    return text;
  };
  EXPECT_EQ(std::pair(disk.sectors.size(), held()), std::pair(std::size_t{19 * 16}, std::string("1110000000000000")));
  map_apple_order(disk, 2);
  EXPECT_EQ(held(), "1000000000000110");
  EXPECT_EQ(capture_stdout([&] { print_sector_fault(disk, 18 * 16 + 3); }), "sector error 'disk.img' track 18 sector 3: absent\n");
}

TEST(disk_containers, refuse_damage_or_mark_the_sectors) {
  const bytes d88 = make_d88(volume), nfd0 = make_nfd(volume, 0), nfd1 = make_nfd(volume, 1, 153),
              dim = make_dim(volume), image_2mg = make_2mg(image, 0), nib_2mg = make_2mg(image, 2),
              nib = make_nib(image), woz1 = make_woz(image, 1), woz2 = make_woz(image, 2);
  auto put32 = [](bytes& f, std::size_t at, std::size_t value) { write_le32(&f[at], static_cast<std::uint32_t>(value)); };
  // WOZ: INFO data at 20, TMAP data at 88, TRKS data at 256 (WOZ1 record t
  // at 256 + 6656t, WOZ2 entry t at 256 + 8t, its bits at block 3 + 13t).
  const struct {
    std::string name; disk_family family; const bytes& file; std::function<void(bytes&)> edit;
    std::string line; std::vector<std::pair<std::int32_t, std::string>> states;
  } cases[] = {
      // Not a D88 (no line: read as the plain FDI).
      {"d88 size field", disk_family::pc98, d88, [](bytes& f) { f.pop_back(); }, "", {}},
      {"d88 out of order", disk_family::pc98, d88, [&](bytes& f) { put32(f, 0x24, read_le32(&f[0x28]) + 1); }, "", {}},
      {"d88 data past its track", disk_family::x68k, d88, [](bytes& f) { f[d88_sector_header(5, 7) + 14] = 2; }, "damaged D88 image 'disk.img' (track 5)\n", {}},
      // Track 3 stores records 4 7 2 5 8 3 6 1: the 2nd renamed 4, the 4th of
      // N = 2 (512 bytes), the 6th of another cylinder.
      {"d88 sector ids", disk_family::pc98, d88, [](bytes& f) {
         f[d88_sector_header(3, 1) + 2] = 4;
         f[d88_sector_header(3, 3) + 3] = 2;
         f[d88_sector_header(3, 5)] = 9;
       }, "", {{27, "duplicate"}, {30, "absent"}, {28, "wrong size"}, {26, "absent"}, {24, "present"}}},
      {"nfd header size", disk_family::pc98, nfd0, [&](bytes& f) { put32(f, 0x110, f.size() + 1); }, "damaged NFD image 'disk.img' (header)\n", {}},
      {"nfd truncated", disk_family::pc98, nfd0, [](bytes& f) { f.pop_back(); }, "damaged NFD image 'disk.img' (truncated)\n", {}},
      {"nfd size code", disk_family::pc98, nfd0, [](bytes& f) { f[0x120 + 16 * (26 * 9 + 2) + 3] = 8; }, "damaged NFD image 'disk.img' (track 9)\n", {}},
      {"nfd r1 track record", disk_family::pc98, nfd1, [&](bytes& f) { put32(f, 0x120 + 4 * 20, f.size() - 8); }, "damaged NFD image 'disk.img' (track 20)\n", {}},
      {"nfd r1 extra read", disk_family::pc98, nfd1, [&](bytes& f) { put32(f, read_le32(&f[0x120 + 4 * 153]) + 16 + 128 + 10, 101); },
       "damaged NFD image 'disk.img' (truncated)\n", {}},
      {"dim truncated", disk_family::x68k, dim, [](bytes& f) { f.pop_back(); }, "damaged DIM image 'disk.img' (truncated)\n", {}},
      {"dim media", disk_family::x68k, dim, [](bytes& f) { f[0] = 9; }, "unsupported DIM image 'disk.img' (media type 9)\n", {}},
      {"2mg past the end", disk_family::apple2, image_2mg, [&](bytes& f) { put32(f, 0x1C, f.size() - 63); }, "damaged 2MG image 'disk.img' (truncated)\n", {}},
      {"2mg format", disk_family::apple2, image_2mg, [](bytes& f) { f[0x0C] = 3; }, "unsupported 2MG image 'disk.img' (format 3)\n", {}},
      {"2mg nibbles", disk_family::apple2, nib_2mg, [&](bytes& f) { put32(f, 0x1C, 232959); }, "damaged 2MG image 'disk.img' (nibble data length)\n", {}},
      {"woz2 chunk past the end", disk_family::apple2, woz2, [](bytes& f) { f.pop_back(); }, "damaged WOZ image 'disk.img' (chunk META)\n", {}},
      {"woz2 no map", disk_family::apple2, woz2, [](bytes& f) { f[83] = 'X'; }, "damaged WOZ image 'disk.img' (no TMAP chunk)\n", {}},
      {"woz2 3.5\"", disk_family::apple2, woz2, [](bytes& f) { f[21] = 2; }, "unsupported WOZ image 'disk.img' (disk type 2)\n", {}},
      {"woz2 blocks", disk_family::apple2, woz2, [](bytes& f) { write_le16(&f[256 + 56], static_cast<std::uint16_t>(f.size() / 512)); },
       "damaged WOZ image 'disk.img' (track 7)\n", {}},
      {"woz1 bit count", disk_family::apple2, woz1, [](bytes& f) { write_le16(&f[256 + 6656 * 7 + 6648], 6646 * 8 + 1); },
       "damaged WOZ image 'disk.img' (track 7)\n", {}},
      // Quarter track 8 unmapped (track 2 absent), track 5's bits all zero.
      {"woz2 sector faults", disk_family::apple2, woz2, [](bytes& f) {
         f[88 + 8] = 0xFF;
         std::fill_n(f.begin() + 512 * (3 + 13 * 5), 13 * 512, 0);
       }, "", {{32, "absent"}, {47, "absent"}, {83, "unreadable"}, {96, "present"}}},
      // Track 3: no D5 AA 96 left. Track 9: physical sector 5 (logical 5)
      // renamed 6 (logical 12), its checksum kept right (address field: D5
      // AA 96, 4-and-4 volume, track, sector, checksum). Track 10: a data
      // nibble of physical 2 (logical 14) changed. Track 11: the address
      // checksum of physical 1 (logical 7) broken.
      {"nib sector faults", disk_family::apple2, nib, [](bytes& f) {
         std::replace(f.begin() + 3 * 6656, f.begin() + 4 * 6656, std::uint8_t{0x96}, std::uint8_t{0x97});
         const std::size_t renamed = nib_field(f, 9, 5);
         f[renamed + 7] = (6 >> 1) | 0xAA;
         f[renamed + 8] = 6 | 0xAA;
         f[renamed + 9] = (254 ^ 9 ^ 6) >> 1 | 0xAA;
         f[renamed + 10] = (254 ^ 9 ^ 6) | 0xAA;
         const std::size_t data = nib_field(f, 10, 2, true);
         f[data + 103] = f[data + 103] == 0x96 ? 0x97 : 0x96;
         f[nib_field(f, 11, 1) + 9] ^= 0x01;
       }, "", {{48, "unreadable"}, {63, "unreadable"}, {156, "duplicate"}, {149, "unreadable"}, {151, "present"},
               {174, "unreadable"}, {173, "present"}, {183, "unreadable"}, {199, "present"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bytes file = c.file;
    c.edit(file);
    disk_container disk;
    EXPECT_EQ(open_bytes(disk, file, c.family), std::make_pair(c.line.empty() ? 0 : -1, c.line));
    for (const auto& [n, state] : c.states) EXPECT_EQ(state_of(disk, n), state) << n;
  }
}

TEST(disk_nibbles, find_every_sector_wherever_the_track_starts) {
  // Track 0 of the NIB started at every nibble, and of the WOZ2 (bits from
  // block 3, bit count in TRKS entry 0) at every 37th bit: fields and
  // nibbles cut anywhere by the end of the stream.
  const bytes expected(image.data.begin(), image.data.begin() + 4096);
  const bytes nib = make_nib(image), woz = make_woz(image, 2);
  const bytes track(nib.begin(), nib.begin() + 6656);
  const std::size_t count = read_le32(&woz[260]);
  const bytes bits(woz.begin() + 1536, woz.begin() + 1536 + static_cast<std::ptrdiff_t>((count + 7) / 8));
  std::array<std::uint8_t, 4096> out{};
  std::array<sector_state, 16> states{};
  auto all_read = [&] {
    return std::count(states.begin(), states.end(), sector_state::present) == 16 && bytes(out.begin(), out.end()) == expected;
  };
  for (std::size_t by = 0; by < track.size(); ++by) {
    bytes turned = track;
    std::rotate(turned.begin(), turned.begin() + static_cast<std::ptrdiff_t>(by), turned.end());
    decode_nibble_track(turned, 0, out, states);
    ASSERT_TRUE(all_read()) << "NIB track started at nibble " << by;
  }
  for (std::size_t by = 0; by < count; by += 37) {
    bytes turned(bits.size(), 0);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t from = (i + by) % count;
      if ((bits[from / 8] >> (7 - from % 8) & 1) != 0) turned[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    }
    decode_bit_track(turned, static_cast<std::int64_t>(count), 0, out, states);
    ASSERT_TRUE(all_read()) << "WOZ track started at bit " << by;
  }
}

TEST(disk_file, reads_whole_files_up_to_the_limit) {
  temp_dir dir;
  const std::string empty = write_sparse_file(dir / "empty", 0), largest = write_sparse_file(dir / "largest", 4 << 20),
                    too_large = write_sparse_file(dir / "too-large", (4 << 20) + 1),
                    huge = write_sparse_file(dir / "huge", std::uintmax_t{1} << 31), folder = dir.path.string();
  const std::pair<std::string, std::string> cases[] = {
      {folder, "open error '" + folder + "'\n"}, {empty, ""}, {largest, ""},
      {too_large, "disk image too large '" + too_large + "'\n"}, {huge, "memory exhaust!\n"},
  };
  for (const auto& c : cases) {
    bytes read = {1};
    EXPECT_EQ(result_and_output([&] { return read_disk_file(read, c.first); }), std::make_pair(c.second.empty() ? 0 : -1, c.second));
    EXPECT_EQ(read, c.second.empty() ? read_file(c.first) : bytes{}) << c.first;
  }
}

bool run_floptool(const std::string& arguments) {
  return std::system(("floptool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(disk_containers, agree_with_mame_floptool) {
  if (!run_floptool("version")) {
    GTEST_SKIP() << "floptool (Debian package mame-tools) is not installed: the containers are not checked against it";
  }
  // floptool reads each container the builders write (its input format
  // named: its guess takes some for other machines' images) into the bare
  // volume or the DOS-order image; then it writes a WOZ of its own, which
  // must read back here. Its 2MG reader takes 3.5" disks only.
  const struct {
    std::string input_format; bytes file; std::string output_format; bytes expected;
  } cases[] = {
      {"d88", make_d88(volume), "pc98", volume}, {"d88", make_d88(volume, {0x2A0, true, true, {}}), "xdf", volume},
      {"nfd", make_nfd(volume, 0), "pc98", volume}, {"nfd", make_nfd(volume, 1, 30), "pc98", volume},
      {"dim", make_dim(volume), "xdf", volume}, {"pc98", make_hdm(volume), "xdf", volume},
      {"a2_nib", make_nib(image), "a2_16sect_dos", image.data}, {"woz", make_woz(image, 1), "a2_16sect_dos", image.data},
      {"woz", make_woz(image, 2), "a2_16sect_dos", image.data},
      {"a2_16sect_dos", image.as_dos_order(), "woz", {}},
  };
  temp_dir dir;
  const std::string input = (dir / "input.img").string(), output = (dir / "output.img").string();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input_format + " " + c.output_format);
    write_file(input, c.file);
    std::filesystem::remove(output);
    ASSERT_TRUE(run_floptool("flopconvert " + c.input_format + " " + c.output_format + " '" + input + "' '" + output + "'"));
    if (!c.expected.empty()) {
      EXPECT_EQ(read_file(output), c.expected);
      continue;
    }
    disk_container disk;
    ASSERT_EQ(open_bytes(disk, read_file(output), disk_family::apple2).first, 0);
    EXPECT_EQ(disk.kind, container_kind::woz);
    expect_sectors(disk, image.data, 16);
  }
}

}  // namespace
