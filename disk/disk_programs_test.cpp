// The extractors on every container of their family give the plain image's
// sheet, the patch tools save every writable container back byte for byte,
// and damaged containers end the run with their lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "testing/container_builder.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

// A 2HD volume holding one file on consecutive clusters from cluster 2.
bytes volume_with(const std::string& dos_name, std::size_t size, std::uint32_t seed) {
  fat12_volume volume;
  volume.add_file_contiguous(dos_name, pattern_bytes(size, seed), 2);
  return volume.data;
}

bytes fdi_of(const bytes& volume) {
  fat12_volume fat;
  fat.data = volume;
  return fat.as_fdi();
}

// The PC-98 disks (ocshape.pat 108160 bytes, swshape.pat 62464), the
// X68000 disk (shape.pat 212544) and the Apple II disk (the two hi-res
// shape files of 4096 bytes, binary files with their 4-byte header).
const std::array<bytes, 2> pc98_volumes = {volume_with("OCSHAPE PAT", 108160, 1),
                                           volume_with("SWSHAPE PAT", 62464, 2)};
const bytes x68k_volume = volume_with("SHAPE   PAT", 212544, 3);
const dos33_image apple_image = [] {
  dos33_image image;
  for (const char* name : {"S\x01HP0", "S\x01HP1"}) {
    image.add_file(name, 0x04, dos33_image::with_length_header(0x04, pattern_bytes(4096, static_cast<std::uint32_t>(name[4]))));
  }
  return image;
}();

// Each 2HD container made from a volume, by its file name ending.
const std::vector<std::pair<std::string, std::function<bytes(const bytes&)>>> hd_containers = {
    {"fdi", fdi_of},
    {"hdm", make_hdm},
    {"xdf", [](const bytes& v) { return v; }},
    {"d88", [](const bytes& v) { return make_d88(v); }},
    {"d98", [](const bytes& v) { return make_d88(v, {0x2A0, true, true, {150, 151}}); }},
    {"nfd", [](const bytes& v) { return make_nfd(v, 0); }},
    {"nfd1", [](const bytes& v) { return make_nfd(v, 1, 40); }},
    {"dim", [](const bytes& v) { return make_dim(v, {150, 151, 152, 153}); }},
};

bytes hd_container(const std::string& kind, const bytes& volume) {
  for (const auto& [name, make] : hd_containers) {
    if (name == kind) return make(volume);
  }
  ADD_FAILURE() << kind;
  return {};
}

class disk_programs : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "d1.fdi", fdi_of(pc98_volumes[0]));
    write_file(dir / "d2.fdi", fdi_of(pc98_volumes[1]));
    write_file(dir / "x.xdf", x68k_volume);
    write_file(dir / "a.dsk", apple_image.as_dos_order());
  }
  // Removes the outputs of the row before, so that no question is asked.
  void start_row() {
    for (const char* name : {"c.bmp", "cm.bmp", "o", "o1", "o2"}) std::filesystem::remove(dir / name);
  }
  void run(const std::string& program, const std::vector<std::string>& args, int status = 0,
           const std::string& output = "") {
    const program_result result = run_program(program, args, dir.path, "y\ny\n");
    EXPECT_EQ(result.status, status) << program << " " << testing::PrintToString(args);
    EXPECT_EQ(result.output, output) << program << " " << testing::PrintToString(args);
  }
  temp_dir dir;
};

TEST_F(disk_programs, every_container_gives_the_plain_sheet_and_saves_back_unchanged) {
  run("pc98tiles", {"--disk1", "d1.fdi", "--disk2", "d2.fdi", "p.bmp", "pm.bmp"});
  run("x68ktiles", {"--disk", "x.xdf", "x.bmp", "xm.bmp"});
  run("a2tiles", {"--disk", "a.dsk", "a.bmp"});
  // An FDI exactly as long as an HDM stays an FDI (1228 sectors after its header).
  bytes long_fdi = fdi_of(pc98_volumes[0]);
  long_fdi.resize(1261568);
  const struct {
    std::string kind; bytes disk1, disk2;
  } pc98_cases[] = {
      {"fdi", long_fdi, fdi_of(pc98_volumes[1])},
      {"hdm", make_hdm(pc98_volumes[0]), make_hdm(pc98_volumes[1])},
      {"d88", make_d88(pc98_volumes[0]), make_d88(pc98_volumes[1])},
      {"d98", hd_container("d98", pc98_volumes[0]), hd_container("d98", pc98_volumes[1])},
      {"nfd", make_nfd(pc98_volumes[0], 0), make_nfd(pc98_volumes[1], 0)},
      {"nfd1", make_nfd(pc98_volumes[0], 1, 40), make_nfd(pc98_volumes[1], 1)},
  };
  for (const auto& c : pc98_cases) {
    SCOPED_TRACE(c.kind);
    start_row();
    const std::string d1 = "d1." + c.kind, d2 = "d2." + c.kind;
    write_file(dir / d1, c.disk1);
    write_file(dir / d2, c.disk2);
    run("pc98tiles", {"--disk1", d1, "--disk2", d2, "c.bmp", "cm.bmp"});
    EXPECT_EQ(read_file(dir / "c.bmp"), read_file(dir / "p.bmp"));
    EXPECT_EQ(read_file(dir / "cm.bmp"), read_file(dir / "pm.bmp"));
    // The "d98" images are write protected: the patch tool says so and saves.
    auto saved = [&](const std::string& image, const char* output) {
      return (c.kind == "d98" ? "write protected image '" + image + "' ... ignored\n" : "") +
             "write '" + output + "'\n";
    };
    run("pc98tilepatch", {"c.bmp", "cm.bmp", "--disk1", d1, "--disk2", d2, "--write1", "o1", "--write2", "o2"},
        0, saved(d1, "o1") + saved(d2, "o2"));
    EXPECT_EQ(read_file(dir / "o1"), c.disk1);
    EXPECT_EQ(read_file(dir / "o2"), c.disk2);
  }
  for (const std::string kind : {"xdf", "d88", "d98", "dim"}) {
    SCOPED_TRACE(kind);
    start_row();
    const bytes image = hd_container(kind, x68k_volume);
    write_file(dir / ("x." + kind), image);
    run("x68ktiles", {"--disk", "x." + kind, "c.bmp", "cm.bmp"});
    EXPECT_EQ(read_file(dir / "c.bmp"), read_file(dir / "x.bmp"));
    EXPECT_EQ(read_file(dir / "cm.bmp"), read_file(dir / "xm.bmp"));
    run("x68ktilepatch", {"c.bmp", "cm.bmp", "--disk", "x." + kind, "--write", "o"}, 0,
        kind == "d98" ? "write protected image 'x.d98' ... ignored\n" : "");
    EXPECT_EQ(read_file(dir / "o"), image);
  }
  const struct {
    std::string name; bytes image; std::vector<std::string> options;
  } apple_cases[] = {
      {"a.po", apple_image.as_prodos_order(), {"--po"}},
      {"a1.2mg", make_2mg(apple_image, 0), {}},
      {"a2.2mg", make_2mg(apple_image, 1), {}},
      {"a3.2mg", make_2mg(apple_image, 2), {"--po"}},
      {"a.nib", make_nib(apple_image), {"--po"}},
      {"a1.woz", make_woz(apple_image, 1), {}},
      {"a2.woz", make_woz(apple_image, 2), {"--do"}},
  };
  for (const auto& c : apple_cases) {
    SCOPED_TRACE(c.name);
    start_row();
    write_file(dir / c.name, c.image);
    std::vector<std::string> args = {"--disk", c.name, "c.bmp"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    run("a2tiles", args);
    EXPECT_EQ(read_file(dir / "c.bmp"), read_file(dir / "a.bmp"));
  }
}

// Offset of the k-th sector header (0-7) of track t in a D88 of every track.
std::size_t d88_sector(int t, int k) { return 0x2B0 + static_cast<std::size_t>(t * 8 + k) * 1040; }

TEST_F(disk_programs, damaged_containers_end_the_run_with_their_lines) {
  // ocshape.pat lies on clusters 2-107 (sectors 11-116): track 2 absent
  // costs cluster 7 first. shape.pat on clusters 2-209: cluster 100 is the
  // first sector stored on track 13, record 6. The Apple II shape file
  // S^AHP1 has its T/S list on track 19, sector 13 and its data from
  // sector 12 down: sector 10 (physical 10) is its third.
  write_file(dir / "d1.d88", make_d88(pc98_volumes[0], {0x2B0, false, false, {2}}));
  bytes x68k_d88 = make_d88(x68k_volume);
  x68k_d88[d88_sector(13, 0) + 3] = 2;
  write_file(dir / "x.d88", x68k_d88);
  bytes dim = make_dim(x68k_volume);
  dim.pop_back();
  write_file(dir / "x.dim", dim);
  bytes image_2mg = make_2mg(apple_image, 0);
  write_le32(&image_2mg[0x1C], static_cast<std::uint32_t>(image_2mg.size() - 63));
  write_file(dir / "a.2mg", image_2mg);
  bytes nib = make_nib(apple_image);
  std::size_t at = 19 * 6656;
  while (!(nib[at] == 0xD5 && nib[at + 1] == 0xAA && nib[at + 2] == 0x96 &&
           nib[at + 7] == ((10 >> 1) | 0xAA) && nib[at + 8] == (10 | 0xAA))) {
    ++at;
  }
  while (!(nib[at] == 0xD5 && nib[at + 1] == 0xAA && nib[at + 2] == 0xAD)) ++at;
  nib[at + 50] = nib[at + 50] == 0x96 ? 0x97 : 0x96;  // a data nibble: the checksum fails
  write_file(dir / "a.nib", nib);
  write_file(dir / "big.fdi", bytes(4 * 1024 * 1024 + 1, 0));
  const run_case cases[] = {
      {"pc98tiles", {"--disk1", "d1.d88", "p.bmp"}, 1,
       "sector error 'd1.d88' track 2 sector 1: absent\nread disk image error d1.d88/ocshape.pat\n"},
      {"pc98tilepatch", {"p.bmp", "--disk1", "d1.d88", "--disk2", "d2.fdi"}, 1,
       "sector error 'd1.d88' track 2 sector 1: absent\nread disk image error d1.d88/ocshape.pat\n"},
      {"pc98tiles", {"--disk1", "big.fdi", "p.bmp"}, 1, "disk image too large 'big.fdi'\nread disk image error big.fdi\n"},
      {"x68ktilepatch", {"x.bmp", "--disk", "x.d88"}, 1,
       "sector error 'x.d88' track 13 sector 6: wrong size\nread disk image error x.d88/shape.pat\n"},
      {"x68ktiles", {"--disk", "x.dim", "x.bmp"}, 1, "damaged DIM image 'x.dim' (truncated)\nread disk image error x.dim\n"},
      {"a2tiles", {"--disk", "a.2mg", "a.bmp"}, 1, "damaged 2MG image 'a.2mg' (truncated)\nread disk image error 'a.2mg'\n"},
      {"a2tiles", {"--disk", "a.nib", "a.bmp"}, 1,
       "sector error 'a.nib' track 19 sector 10: unreadable\nillegal track/sector list[00:02] (13/0A)\n"
       "sector error 'a.nib' track 19 sector 10: unreadable\nread disk image error 'a.nib/S\x01HP1' size=0x1FC\n"},
  };
  run("pc98tiles", {"--disk1", "d1.fdi", "--disk2", "d2.fdi", "p.bmp"});
  run("x68ktiles", {"--disk", "x.xdf", "x.bmp"});
  expect_runs(dir.path, cases);
  EXPECT_FALSE(std::filesystem::exists(dir / "d1.NEW.d88"));
  EXPECT_FALSE(std::filesystem::exists(dir / "x.NEW.d88"));
}

}  // namespace
