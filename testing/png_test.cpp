// PNG sheets end to end: the extractors' PNGs hold their BMPs' pixels and
// palettes, the patch tools read a PNG of any kind as a BMP of its colours,
// and refuse a damaged one before writing anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "testing/png_builder.h"
#include "testing/testing.h"

namespace {

namespace fs = std::filesystem;

TEST(png_sheets, extractors_write_their_bmp_as_png_and_patch_tools_read_it_back) {
  temp_dir dir;
  write_extractor_inputs(dir.path);
  const struct {
    std::vector<std::string> run;  // the extractor and its arguments before the names
    bool mask;
    std::string patch, patched;  // the patch tool and what it prints
  } runs[] = {
      {{"egatiles", "SHAPES.EGA"}, false, "", ""},
      {{"a2tiles", "--2", "--half-shift"}, false, "", ""},
      {{"pc98tiles"}, true, "pc98tilepatch", "write 'KV_Mirath.NEW.fdi'\nwrite 'KV_Thalwynd.NEW.fdi'\n"},
      {{"x68ktiles"}, true, "x68ktilepatch", ""},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.run[0]);
    const std::string sheet = r.run[0] + "-sheet", mask = r.run[0] + "-mask";
    for (const std::string ending : {".bmp", ".Png"}) {
      std::vector<std::string> args(r.run.begin() + 1, r.run.end());
      args.push_back(sheet + ending);
      if (r.mask) args.push_back(mask + ending);
      ASSERT_EQ(run_program(r.run[0], args, dir.path), (program_result{0, ""}));
    }
    expect_png_of_bitmap(dir / (sheet + ".Png"), dir / (sheet + ".bmp"));
    if (r.mask) expect_png_of_bitmap(dir / (mask + ".Png"), dir / (mask + ".bmp"));
    if (r.patch.empty()) continue;
    // The unedited PNGs give back the images; the mask, under a BMP name, is
    // known by its signature.
    fs::rename(dir / (mask + ".Png"), dir / (mask + ".bmp"));
    EXPECT_EQ(run_program(r.patch, {sheet + ".Png", mask + ".bmp"}, dir.path), (program_result{0, r.patched}));
  }
  for (const auto& entry : fs::directory_iterator(dir.path)) {
    std::string name = entry.path().filename().string();
    if (const auto at = name.find(".NEW."); at != std::string::npos) {
      EXPECT_EQ(read_file(entry.path()), read_file(dir / name.erase(at, 4))) << name;
    }
  }
}

// A PNG of every colour type and bit depth, interlaced or not, with gAMA
// and tRNS chunks, patches as a 24-bit BMP of the colours it stands for.
TEST(png_sheets, every_kind_of_png_patches_as_the_bmp_of_its_colours) {
  temp_dir dir;
  write_extractor_inputs(dir.path);
  const auto patch = [&](const std::string& sheet, const std::string& image) {
    return run_program("x68ktilepatch", {sheet, "--write", image}, dir.path, "y\n").status;
  };
  for (const auto& [type, depth] : png_kinds) {
    SCOPED_TRACE("colour type " + std::to_string(type) + ", bit depth " + std::to_string(depth));
    bytes colours;
    const auto seed = static_cast<std::uint32_t>(type * 17 + depth);
    png_picture png = random_png(type, depth, 576, 576, seed, colours);
    write_file(dir / "colours.bmp", bitmap_file_bytes(576, 576, 24, {}, colours));
    ASSERT_EQ(patch("colours.bmp", "bmp.xdf"), 0);
    for (const bool interlaced : {false, true}) {
      png.interlaced = interlaced;
      write_file(dir / "sheet.png", png_file_bytes(png, true));
      ASSERT_EQ(patch("sheet.png", "png.xdf"), 0);
      EXPECT_EQ(read_file(dir / "png.xdf"), read_file(dir / "bmp.xdf")) << "interlaced " << interlaced;
    }
  }
}

// Damaged PNGs, and ones of a size the sheet does not allow, are refused
// with one line naming the file before anything is written.
TEST(png_sheets, damaged_pngs_are_refused_before_anything_is_written) {
  temp_dir dir;
  write_extractor_inputs(dir.path);
  ASSERT_EQ(run_program("x68ktiles", {"s.png"}, dir.path).status, 0);
  const bytes good = read_file(dir / "s.png");
  // The last IDAT chunk ends with the zlib stream's Adler-32, then its CRC.
  const std::size_t zlib = find_png_chunk(good, "IDAT") + 8, iend = find_png_chunk(good, "IEND");
  // `good` changed, every CRC then made right again if `fix_crcs`: byte `at`
  // flipped, or the size in IHDR set.
  const auto edited = [&](const std::function<void(bytes&)>& change, bool fix_crcs) {
    bytes file = good;
    change(file);
    if (fix_crcs) fix_png_crcs(file);
    return file;
  };
  const auto flip = [](std::size_t at) { return [at](bytes& file) { file[at] ^= 0x01; }; };
  const auto size = [](std::uint32_t w, std::uint32_t h) { return [w, h](bytes& file) { set_png_size(file, w, h); }; };
  const struct { std::string name; bytes file; std::string reason; } cases[] = {
      {"cut.png", bytes(good.begin(), good.end() - 32), "unexpected end of file"},
      {"signature.png", bytes(good.begin(), good.begin() + 8), "unexpected end of file"},
      {"ihdr-crc.png", edited(flip(29), false), "IHDR: CRC error"},
      {"idat-crc.png", edited(flip(iend - 1), false), "IDAT: CRC error"},
      {"iend-crc.png", edited(flip(good.size() - 1), false), "IEND: CRC error"},
      // A tEXt chunk after IHDR whose CRC, 0, is wrong.
      {"text-crc.png", edited([](bytes& f) { f.insert(f.begin() + 33, {0, 0, 0, 1, 't', 'E', 'X', 't', 'x', 0, 0, 0, 0}); }, false),
       "tEXt: CRC error"},
      {"zlib-header.png", edited(flip(zlib + 1), true), "IDAT: incorrect header check"},
      {"zlib-check.png", edited(flip(iend - 5), true), "IDAT: incorrect data check"},
      {"extra-row.png", edited(size(576, 791), true), "IDAT: Too much image data"},
      {"wide.png", edited(size(577, 792), true), "bitmap size error 'wide.png' 577 x 792"},
      {"huge.png", edited(size(2000000, 2000000), true), "bitmap size error 'huge.png' 2000000 x 2000000"},
  };
  for (const auto& [name, file, reason] : cases) {
    write_file(dir / name, file);
    const std::string line = reason.starts_with("bitmap") ? reason : "png error '" + name + "': " + reason;
    EXPECT_EQ(run_program("x68ktilepatch", {name}, dir.path),
              (program_result{1, line + "\nread bitmap file error '" + name + "'\n"}));
  }
  // The mask is refused in the same way; a file that is neither PNG nor BMP
  // is refused as a BMP, as before.
  write_file(dir / "neither.png", bytes(good.begin() + 1, good.end()));
  expect_runs(dir.path, std::vector<run_case>{
      {"x68ktilepatch", {"s.png", "cut.png"}, 1,
       "png error 'cut.png': unexpected end of file\nread mask file error 'cut.png'\n"},
      {"pc98tilepatch", {"neither.png"}, 1,
       "error: read_bitmap() - can't read bitmap header\nread error 'neither.png'\n"
       "read shapes file error 'neither.png'\n"},
  });
  EXPECT_FALSE(fs::exists(dir / "kv-mirath.NEW.xdf") || fs::exists(dir / "KV_Mirath.NEW.fdi"));
}

}  // namespace
