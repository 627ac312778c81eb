// The extractors on every container of their family give the plain image's
// sheet, the patch tools save every writable container back byte for byte,
// and damaged containers end the run with their lines.
#include <gtest/gtest.h>

#include <filesystem>

#include "testing/container_builder.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

// The PC-98 disks (ocshape.pat 108160 bytes on clusters 2-107, swshape.pat
// 62464), the X68000 disk (shape.pat 212544, clusters 2-209) and the Apple
// II disk (the hi-res shape files, binary files of 4096 bytes: S^AHP1 has its
// T/S list on track 19, sector 13 and its data from sector 12 down).
const std::array<bytes, 2> pc98 = {fat12_volume::with_file("OCSHAPE PAT", pattern_bytes(108160, 1)).data,
                                   fat12_volume::with_file("SWSHAPE PAT", pattern_bytes(62464, 2)).data};
const bytes x68k = fat12_volume::with_file("SHAPE   PAT", pattern_bytes(212544, 3)).data;
const dos33_image apple = [] {
  dos33_image image;
  for (const char* name : {"S\x01HP0", "S\x01HP1"}) {
    image.add_file(name, 0x04, dos33_image::with_length_header(0x04, pattern_bytes(4096, static_cast<std::uint32_t>(name[4]))));
  }
  return image;
}();

class disk_programs : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "d1.fdi", make_fdi(pc98[0]));
    write_file(dir / "d2.fdi", make_fdi(pc98[1]));
    write_file(dir / "x.xdf", x68k);
    write_file(dir / "a.dsk", apple.as_dos_order());
  }
  // Runs `program` after removing the outputs of the run before.
  void run(const std::string& program, const std::vector<std::string>& args, const std::string& output = "") {
    for (const char* name : {"c.bmp", "cm.bmp", "o", "o1", "o2"}) std::filesystem::remove(dir / name);
    EXPECT_EQ(run_program(program, args, dir.path), (program_result{0, output}))
        << program << " " << testing::PrintToString(args);
  }
  temp_dir dir;
};

TEST_F(disk_programs, every_container_gives_the_plain_sheet_and_saves_back_unchanged) {
  run("pc98tiles", {"--disk1", "d1.fdi", "--disk2", "d2.fdi", "p.bmp", "pm.bmp"});
  run("x68ktiles", {"--disk", "x.xdf", "x.bmp", "xm.bmp"});
  run("a2tiles", {"--disk", "a.dsk", "a.bmp"});
  // An FDI as long as an HDM stays an FDI; the "d98" images are write
  // protected, which the patch tool reports before it saves them.
  bytes long_fdi = make_fdi(pc98[0]);
  long_fdi.resize(1261568);
  const d88_layout old_protected = {0x2A0, true, true, {150, 151}};
  const struct {
    std::string kind; bytes disk1, disk2, x68k;
  } cases[] = {
      {"fdi", long_fdi, make_fdi(pc98[1]), {}},
      {"hdm", make_hdm(pc98[0]), make_hdm(pc98[1]), {}},
      {"xdf", {}, {}, x68k},
      {"d88", make_d88(pc98[0]), make_d88(pc98[1]), make_d88(x68k)},
      {"d98", make_d88(pc98[0], old_protected), make_d88(pc98[1], old_protected), make_d88(x68k, old_protected)},
      {"nfd", make_nfd(pc98[0], 0), make_nfd(pc98[1], 0), {}},
      {"nfd1", make_nfd(pc98[0], 1, 40), make_nfd(pc98[1], 1), {}},
      {"dim", {}, {}, make_dim(x68k, {150, 151, 152, 153})},
  };
  const auto files = [this](const char* a, const char* b) { return std::pair(read_file(dir / a), read_file(dir / b)); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    auto saved = [&](const std::string& image, const char* output) {
      return (c.kind == "d98" ? "write protected image '" + image + "' ... ignored\n" : "") +
             (output[0] != 0 ? "write '" + std::string(output) + "'\n" : "");
    };
    if (!c.disk1.empty()) {
      const std::string d1 = "d1." + c.kind, d2 = "d2." + c.kind;
      write_file(dir / d1, c.disk1);
      write_file(dir / d2, c.disk2);
      run("pc98tiles", {"--disk1", d1, "--disk2", d2, "c.bmp", "cm.bmp"});
      EXPECT_EQ(files("c.bmp", "cm.bmp"), files("p.bmp", "pm.bmp"));
      run("pc98tilepatch", {"p.bmp", "pm.bmp", "--disk1", d1, "--disk2", d2, "--write1", "o1", "--write2", "o2"},
          saved(d1, "o1") + saved(d2, "o2"));
      EXPECT_EQ(files("o1", "o2"), std::pair(c.disk1, c.disk2));
    }
    if (!c.x68k.empty()) {
      const std::string name = "x." + c.kind;
      write_file(dir / name, c.x68k);
      run("x68ktiles", {"--disk", name, "c.bmp", "cm.bmp"});
      EXPECT_EQ(files("c.bmp", "cm.bmp"), files("x.bmp", "xm.bmp"));
      run("x68ktilepatch", {"x.bmp", "xm.bmp", "--disk", name, "--write", "o"}, saved(name, ""));
      EXPECT_EQ(read_file(dir / "o"), c.x68k);
    }
  }
  const std::tuple<std::string, bytes, std::vector<std::string>> apple_cases[] = {
      {"a.po", apple.as_prodos_order(), {"--po"}}, {"a1.2mg", make_2mg(apple, 0), {}}, {"a2.2mg", make_2mg(apple, 1), {}},
      {"a3.2mg", make_2mg(apple, 2), {"--po"}}, {"a.nib", make_nib(apple), {"--po"}}, {"a1.woz", make_woz(apple, 1), {}},
      {"a2.woz", make_woz(apple, 2), {"--do"}},
  };
  for (const auto& [name, image, options] : apple_cases) {
    write_file(dir / name, image);
    std::vector<std::string> args = {"--disk", name, "c.bmp"};
    args.insert(args.end(), options.begin(), options.end());
    run("a2tiles", args);
    EXPECT_EQ(read_file(dir / "c.bmp"), read_file(dir / "a.bmp")) << name;
  }
}

TEST_F(disk_programs, damaged_containers_end_the_run_with_their_lines) {
  // d1.d88 lacks track 2 (ocshape.pat's cluster 7 first); x.d88's shape.pat
  // cluster 100, stored first on track 13 as record 6, is of 512 bytes;
  // r.d88's first root directory sector (track 0, record 6, stored last) too;
  // f.dim lacks track 0 (the FAT); a.nib's S^AHP1 sector 10 (physical 10,
  // its third) fails its checksum.
  write_file(dir / "d1.d88", make_d88(pc98[0], {0x2B0, false, false, {2}}));
  const auto size_code_2 = [](std::size_t header) { bytes d88 = make_d88(x68k); d88[header + 3] = 2; return d88; };
  write_file(dir / "x.d88", size_code_2(d88_sector_header(13, 0)));
  write_file(dir / "r.d88", size_code_2(d88_sector_header(0, 7)));
  write_file(dir / "f.dim", make_dim(x68k, {0}));
  const bytes dim = make_dim(x68k);
  write_file(dir / "x.dim", bytes(dim.begin(), dim.end() - 1));
  bytes nib = make_nib(apple);
  const std::size_t at = nib_field(nib, 19, 10, true);
  nib[at + 50] = nib[at + 50] == 0x96 ? 0x97 : 0x96;
  write_file(dir / "a.nib", nib);
  write_file(dir / "big.fdi", bytes(4 * 1024 * 1024 + 1, 0));
  run("pc98tiles", {"--disk1", "d1.fdi", "--disk2", "d2.fdi", "p.bmp"});
  run("x68ktiles", {"--disk", "x.xdf", "x.bmp"});
  const run_case cases[] = {
      {"pc98tilepatch", {"p.bmp", "--disk1", "d1.d88", "--disk2", "d2.fdi"}, 1,
       "sector error 'd1.d88' track 2 sector 1: absent\nread disk image error d1.d88/ocshape.pat\n"},
      {"pc98tiles", {"--disk1", "big.fdi", "c.bmp"}, 1, "disk image too large 'big.fdi'\nread disk image error big.fdi\n"},
      {"x68ktilepatch", {"x.bmp", "--disk", "x.d88"}, 1,
       "sector error 'x.d88' track 13 sector 6: wrong size\nread disk image error x.d88/shape.pat\n"},
      {"x68ktiles", {"--disk", "r.d88", "c.bmp"}, 1,
       "sector error 'r.d88' track 0 sector 6: wrong size\ncan't find 'shape.pat'\nread disk image error r.d88/shape.pat\n"},
      {"x68ktiles", {"--disk", "f.dim", "c.bmp"}, 1, "sector error 'f.dim' track 0 sector 2: absent\nread disk image error f.dim\n"},
      {"x68ktiles", {"--disk", "x.dim", "c.bmp"}, 1, "damaged DIM image 'x.dim' (truncated)\nread disk image error x.dim\n"},
      {"a2tiles", {"--disk", "a.nib", "c.bmp"}, 1,
       "sector error 'a.nib' track 19 sector 10: unreadable\nillegal track/sector list[00:02] (13/0A)\n"
       "sector error 'a.nib' track 19 sector 10: unreadable\nread disk image error 'a.nib/S\x01HP1' size=0x1FC\n"},
  };
  expect_runs(dir.path, cases);
  for (const char* name : {"c.bmp", "d1.NEW.d88", "x.NEW.d88"}) EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
}

}  // namespace
