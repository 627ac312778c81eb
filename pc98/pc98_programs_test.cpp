// pc98tiles and pc98tilepatch run end to end on synthetic FDI images.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "fat12/fat12.h"
#include "pc98/pc98.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

namespace fs = std::filesystem;
using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;
using canvas = std::vector<std::uint8_t>;

// A small file on the first clusters, then `contents` on a chain that jumps
// back and forth across the disk.
bytes make_fdi(const std::string& dos_name, const bytes& contents) {
  fat12_volume volume;
  volume.add_file_contiguous("README  TXT", pattern_bytes(3000, 9), 2);
  std::vector<int> chain;
  for (int i = 0; i < fat12_volume::clusters_for(contents.size()); ++i) {
    chain.push_back(i % 2 == 0 ? 10 + i : 400 - i);
  }
  volume.add_file(dos_name, contents, chain);
  return volume.as_fdi();
}

void save_bmp(const fs::path& path, int width, int height, int bits,
              std::span<const std::uint8_t> palette, std::span<const std::uint8_t> pixels) {
  file_ptr file(std::fopen(path.string().c_str(), "wb"), &std::fclose);
  bitmap_header header;
  init_bitmap_header(header, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                     static_cast<std::uint16_t>(bits));
  ASSERT_EQ(write_bitmap(file.get(), header, palette.empty() ? nullptr : palette.data(), pixels),
            0);
}

struct bmp_file {
  bitmap_header header;
  canvas palette, pixels;
};

bmp_file load_bmp(const fs::path& path) {
  file_ptr file(std::fopen(path.string().c_str(), "rb"), &std::fclose);
  bmp_file bmp;
  EXPECT_EQ(read_bitmap(file.get(), bmp.header, &bmp.palette, &bmp.pixels, false), 0) << path;
  return bmp;
}

bytes read_shape_file(const fs::path& image_path, std::size_t disk) {
  disk_image image;
  bytes contents(static_cast<std::size_t>(pc98_disks[disk].shape_size));
  EXPECT_EQ(load_disk_image(image, image_path.string(), fdi_volume_offset), 0);
  EXPECT_EQ(read_image_file(image, pc98_disks[disk].shape_name, contents, true), 0);
  return contents;
}

bytes record_of(const bytes& file, const pc98_shape& s) {
  return bytes(file.begin() + s.offset, file.begin() + s.offset + s.planes * 128);
}

const std::string patched = "write 'KV_Mirath.NEW.fdi'\nwrite 'KV_Thalwynd.NEW.fdi'\n";

class pc98_programs : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "KV_Mirath.fdi", make_fdi("OCSHAPE PAT", shapes[0]));
    write_file(dir / "KV_Thalwynd.fdi", make_fdi("SWSHAPE PAT", shapes[1]));
  }

  program_result run(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input = "") {
    return run_program(program, args, dir.path, input);
  }

  // The sheet straight from the record bits: plane p of a 3-plane record is
  // colour bit p, of a 4-plane record the mask (8) and then bits 0-2.
  canvas expected_sheet() const {
    canvas sheet(512 * 736, 0);
    for (int y = 0; y < 736; ++y) {
      for (int x = 0; x < 512; ++x) {
        const pc98_shape& s = pc98_shape_table[y / 32 * 16 + x / 32];
        for (int p = 0; p < s.planes; ++p) {
          const int bit = s.planes == 3 ? 1 << p : p == 0 ? 8 : 1 << (p - 1);
          const int byte = shapes[s.disk - 1][s.offset + p * 128 + y % 32 * 4 + x % 32 / 8];
          if (byte & (0x80 >> x % 8)) sheet[y * 512 + x] |= bit;
        }
      }
    }
    return sheet;
  }

  // Runs pc98tilepatch on sheet.bmp and `args`, the new images replacing
  // those of an earlier run.
  program_result patch(std::vector<std::string> args) {
    fs::remove(dir / "KV_Mirath.NEW.fdi");
    fs::remove(dir / "KV_Thalwynd.NEW.fdi");
    args.insert(args.begin(), "sheet.bmp");
    return run("pc98tilepatch", args);
  }

  temp_dir dir;
  std::array<bytes, 2> shapes = {pattern_bytes(108160, 1), pattern_bytes(62464, 2)};
};

using pc98tiles_run = pc98_programs;
using pc98tilepatch_run = pc98_programs;

}  // namespace

TEST_F(pc98tiles_run, writes_sheet_and_mask_from_the_records) {
  const program_result result = run("pc98tiles", {"sheet.bmp", "mask.bmp"});
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  canvas sheet = expected_sheet();
  canvas mask(sheet.size());
  for (std::size_t p = 0; p < sheet.size(); ++p) mask[p] = sheet[p] >> 3;
  save_bmp(dir / "want_sheet.bmp", 512, 736, 4, pc98_palette, sheet);
  save_bmp(dir / "want_mask.bmp", 512, 736, 1, mask_palette, mask);
  EXPECT_EQ(read_file(dir / "sheet.bmp"), read_file(dir / "want_sheet.bmp"));
  EXPECT_EQ(read_file(dir / "mask.bmp"), read_file(dir / "want_mask.bmp"));
  EXPECT_EQ(fs::file_size(dir / "sheet.bmp"), 54u + 64u + 256u * 736u);
  EXPECT_EQ(fs::file_size(dir / "mask.bmp"), 54u + 8u + 64u * 736u);
}

TEST_F(pc98tiles_run, asks_before_replacing_each_bitmap) {
  const std::string sheet = "already exists 'sheet.bmp'\noverwrite ? (Y or N): ";
  const std::string mask = "already exists 'mask.bmp'\noverwrite ? (Y or N): ";
  struct {
    const char* input;
    bool mask_exists;
    int status;
    std::string output;
    bool sheet_replaced, mask_replaced;
  } cases[] = {
      {"n\n", true, 1, sheet + "write bitmap file error 'sheet.bmp'\n", false, false},
      {"", false, 1, sheet + "\nwrite bitmap file error 'sheet.bmp'\n", false, false},
      {"Yes\n", true, 1, sheet + mask + "\nwrite bitmap file error 'mask.bmp'\n", true, false},
      {"Yes\ny\n", true, 0, sheet + mask, true, true},
      {"maybe\n", false, 0, sheet, true, true},
  };
  for (const auto& c : cases) {
    write_file(dir / "sheet.bmp", std::string("old"));
    fs::remove(dir / "mask.bmp");
    if (c.mask_exists) write_file(dir / "mask.bmp", std::string("old"));
    const program_result result = run("pc98tiles", {"sheet.bmp", "mask.bmp"}, c.input);
    EXPECT_EQ(result.status, c.status) << c.input;
    EXPECT_EQ(result.output, c.output) << c.input;
    EXPECT_EQ(fs::file_size(dir / "sheet.bmp") > 3, c.sheet_replaced) << c.input;
    EXPECT_EQ(fs::exists(dir / "mask.bmp") && fs::file_size(dir / "mask.bmp") > 3, c.mask_replaced)
        << c.input;
  }
}

TEST_F(pc98_programs, rejects_bad_command_lines_and_images) {
  write_file(dir / "noshape.fdi", make_fdi("OTHER   PAT", shapes[0]));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"pc98tiles"}, "no output bitmap filename\n"},
      {{"pc98tiles", "a.bmp", "--help"},
       "usage: pc98tiles [options] OUTPUT.BMP [MASK.BMP]\n"
       "option: --disk1 DISK-IMG    disk image name of Mirath Disk\n"
       "                            read 'KV_Mirath.fdi' if not specified\n"
       "        --disk2 DISK-IMG    disk image name of Thalwynde Disk\n"
       "                            read 'KV_Thalwynd.fdi' if not specified\n"
       "        --help              print usage\n\nsupported disk image format is *.fdi only\n"},
      {{"pc98tiles", "a.bmp", "--disk1"}, "no disk image (mirath disk)\n"},
      {{"pc98tiles", "a.bmp", "--disk2"}, "no disk image (thalwynde disk)\n"},
      {{"pc98tiles", "--disk1", "--help", "a.bmp"},
       "open error '--help'\nread disk image error --help\n"},
      // Disk 2 (missing) is never opened after disk 1 failed.
      {{"pc98tiles", "a", "--disk1", "noshape.fdi", "--disk2", "-none"},
       "can't find 'ocshape.pat'\nread disk image error noshape.fdi/ocshape.pat\n"},
      {{"pc98tiles", "a.bmp", "--disk2", "noshape.fdi"},
       "can't find 'swshape.pat'\nread disk image error noshape.fdi/swshape.pat\n"},
      {{"pc98tilepatch"}, "no shapes bitmap filename\n"},
      {{"pc98tilepatch", "--write1", "x", "--help"},
       "usage: pc98tilepatch [options] SHAPES.BMP [MASK.BMP]\n"
       "option: --disk1 DISK-IMG    disk image name of Mirath Disk\n"
       "                            read 'KV_Mirath.fdi' if not specified\n"
       "        --disk2 DISK-IMG    disk image name of Thalwynde Disk\n"
       "                            read 'KV_Thalwynd.fdi' if not specified\n"
       "        --write1 DISK-IMG   disk image name of modified Mirath Disk\n"
       "        --write2 DISK-IMG   disk image name of modified Thalwynde Disk\n"
       "        --no-shores         remove shore line shapes\n"
       "        --help              print usage\n\n"
       "remove all mask if mask bitmap is not specified\n"
       "supported disk image format is *.FDI only\n"
       "write modified disk image to filename.NEW.ext if not specified\n"},
      {{"pc98tilepatch", "a.bmp", "--no-shore"}, "unknown option '--no-shore'\n"},
      {{"pc98tilepatch", "a", "b", "c", "--bad"}, "unneeded parameter 'c'\n"},
      {{"pc98tilepatch", "a.bmp", "--disk1"}, "no disk image (mirath disk)\n"},
      {{"pc98tilepatch", "a.bmp", "--disk2"}, "no disk image (thalwynde disk)\n"},
      {{"pc98tilepatch", "a.bmp", "--write1"}, "no disk image to write (mirath disk)\n"},
      {{"pc98tilepatch", "a.bmp", "--write2"}, "no disk image to write (thalwynde disk)\n"},
  };
  for (const auto& [args, output] : cases) {
    const program_result result = run(args[0], std::vector(args.begin() + 1, args.end()));
    EXPECT_EQ(result.status, 1) << output;
    EXPECT_EQ(result.output, output);
    EXPECT_FALSE(fs::exists(dir / "a.bmp") || fs::exists(dir / "a"));
  }
}

TEST_F(pc98tilepatch_run, unedited_sheet_gives_back_the_images_at_any_bit_count) {
  ASSERT_EQ(run("pc98tiles", {"sheet.bmp", "mask.bmp"}).status, 0);
  const bytes images[2] = {read_file(dir / "KV_Mirath.fdi"), read_file(dir / "KV_Thalwynd.fdi")};
  // The digital colours scattered over a 256-entry palette of another colour.
  canvas scattered(1024, 0x60);
  for (std::size_t c = 0; c < 8; ++c)
    std::copy_n(&pc98_palette[c * 4], 4, &scattered[(200 - 13 * c) * 4]);
  for (int bits : {4, 8, 24}) {
    const canvas palette = bits == 8 ? scattered : canvas();
    for (const char* name : {"sheet.bmp", "mask.bmp"}) {
      if (bits == 4) break;  // as pc98tiles wrote them
      const bmp_file bmp = load_bmp(dir / name);
      canvas resaved;
      ASSERT_EQ(convert_bit_count(512, 736, bmp.header.bit_count, bmp.palette, bmp.pixels, bits,
                                  palette, resaved),
                0);
      save_bmp(dir / name, 512, 736, bits, palette, resaved);
    }
    const program_result result = patch({"mask.bmp"});
    EXPECT_EQ(result.status, 0) << bits;
    EXPECT_EQ(result.output, patched) << bits;
    EXPECT_EQ(read_file(dir / "KV_Mirath.NEW.fdi"), images[0]) << bits;
    EXPECT_EQ(read_file(dir / "KV_Thalwynd.NEW.fdi"), images[1]) << bits;
  }
  EXPECT_EQ(read_file(dir / "KV_Mirath.fdi"), images[0]);
  EXPECT_EQ(read_file(dir / "KV_Thalwynd.fdi"), images[1]);
}

TEST_F(pc98tilepatch_run, edit_changes_only_the_records_of_its_cells) {
  ASSERT_EQ(run("pc98tiles", {"sheet.bmp", "mask.bmp"}).status, 0);
  bmp_file sheet = load_bmp(dir / "sheet.bmp");
  canvas mask = load_bmp(dir / "mask.bmp").pixels;
  // Cell (9, 3): a 4-plane record of disk 2; cell (16, 0): a 3-plane one of disk 1.
  std::array<bytes, 2> expected = shapes;
  for (int cell : {9 * 16 + 3, 16 * 16 + 0}) {
    for (std::size_t p = 0; p < 32 * 32; ++p) {
      const std::size_t at = (cell / 16 * 32 + p / 32) * 512 + cell % 16 * 32 + p % 32;
      mask[at] = (p ^ p / 32) & 1;
      sheet.pixels[at] = static_cast<std::uint8_t>((p + p / 32) % 8 + 8 * mask[at]);
    }
    const pc98_shape& s = pc98_shape_table[cell];
    const auto record = std::span(expected[s.disk - 1]).subspan(s.offset);
    ASSERT_EQ(pack_pc98_tile(cell / 16, cell % 16, record, s.planes, sheet.pixels), 0);
  }
  save_bmp(dir / "sheet.bmp", 512, 736, 4, sheet.palette, sheet.pixels);
  save_bmp(dir / "mask.bmp", 512, 736, 1, mask_palette, mask);
  ASSERT_EQ(patch({"mask.bmp"}).output, patched);
  EXPECT_NE(expected, shapes);
  EXPECT_EQ(read_shape_file(dir / "KV_Mirath.NEW.fdi", 0), expected[0]);
  EXPECT_EQ(read_shape_file(dir / "KV_Thalwynd.NEW.fdi", 1), expected[1]);
}

TEST_F(pc98tilepatch_run, short_sheets_and_missing_mask_rebuild_the_right_records) {
  ASSERT_EQ(run("pc98tiles", {"full.bmp", "fullmask.bmp"}).status, 0);
  const bmp_file sheet = load_bmp(dir / "full.bmp");
  const bmp_file mask = load_bmp(dir / "fullmask.bmp");
  struct {
    int rows;
    bool no_shores, with_mask;
  } runs[] = {{23, true, true},  {16, false, true}, {16, true, true},
              {17, false, true}, {18, false, true}, {23, false, false}};
  for (const auto& [rows, no_shores, with_mask] : runs) {
    const int height = rows * 32 + (rows == 18 ? 20 : 0);  // a partial cell row counts for nothing
    save_bmp(dir / "sheet.bmp", 512, height, 4, sheet.palette,
             std::span(sheet.pixels).first(512u * height));
    save_bmp(dir / "mask.bmp", 512, height, 1, mask_palette,
             std::span(mask.pixels).first(512u * height));
    std::vector<std::string> args;
    if (with_mask) args.push_back("mask.bmp");
    if (no_shores) args.push_back("--no-shores");
    ASSERT_EQ(patch(args).output, patched);
    const bytes written[2] = {read_shape_file(dir / "KV_Mirath.NEW.fdi", 0),
                              read_shape_file(dir / "KV_Thalwynd.NEW.fdi", 1)};
    EXPECT_TRUE(std::equal(shapes[0].begin(), shapes[0].begin() + 512, written[0].begin()));

    for (int cell = 0; cell < 368; ++cell) {
      const pc98_shape& s = pc98_shape_table[cell];
      if (s.disk == 0) continue;
      const pc98_shape& source = cell / 16 < rows ? s : pc98_shape_table[s.cell];
      bytes want = record_of(shapes[source.disk - 1], source);
      if (no_shores && (cell / 16 == 17 || cell / 16 == 19 || cell / 16 == 20)) {
        want = bytes(128, 0xFF);  // mask plane full, colour planes empty
        want.resize(512, 0);
      } else if (cell / 16 >= rows && s.cell / 16 >= rows) {
        want = record_of(shapes[s.disk - 1], s);  // left as it was
      } else if (source.planes == 3 && s.planes == 4) {
        want.insert(want.begin(), 128, 0);  // a 3-plane stand-in has no mask
      }
      if (!with_mask && s.planes == 4) std::fill_n(want.begin(), 128, 0);
      ASSERT_EQ(record_of(written[s.disk - 1], s), want) << "rows " << rows << " cell " << cell;
    }
  }
}

TEST_F(pc98tilepatch_run, refuses_bad_inputs_before_writing_anything) {
  const canvas zeros(513u * 737u, 0);
  save_bmp(dir / "sheet.bmp", 512, 736, 4, pc98_palette, std::span(zeros).first(512 * 736));
  save_bmp(dir / "low.bmp", 512, 511, 4, pc98_palette, std::span(zeros).first(512 * 511));
  save_bmp(dir / "wide.bmp", 513, 736, 4, pc98_palette, std::span(zeros).first(513 * 736));
  save_bmp(dir / "high.bmp", 512, 737, 1, mask_palette, std::span(zeros).first(512 * 737));
  save_bmp(dir / "short.bmp", 512, 544, 1, mask_palette, std::span(zeros).first(512 * 544));
  write_file(dir / "text.bmp", std::string("not a bitmap"));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"low.bmp"}, "bitmap size error 'low.bmp' 512 x 511\nread shapes file error 'low.bmp'\n"},
      {{"wide.bmp"}, "bitmap size error 'wide.bmp' 513 x 736\nread shapes file error 'wide.bmp'\n"},
      {{"sheet.bmp", "high.bmp"},
       "bitmap size error 'high.bmp' 512 x 737\nread mask file error 'high.bmp'\n"},
      {{"none.bmp"}, "open error 'none.bmp'\nread shapes file error 'none.bmp'\n"},
      {{"sheet.bmp", "text.bmp"},
       "error: read_bitmap() - can't read bitmap header\nread error 'text.bmp'\nread mask file "
       "error 'text.bmp'\n"},
      {{"sheet.bmp", "short.bmp"}, "shapes and mask size mismatch\n"},
      {{"sheet.bmp", "--disk2", "none.fdi"},
       "open error 'none.fdi'\nread disk image error none.fdi\n"},
      {{"sheet.bmp", "--disk1", "KV_Thalwynd.fdi"},
       "can't find 'ocshape.pat'\nread disk image error KV_Thalwynd.fdi/ocshape.pat\n"},
  };
  for (const auto& [args, output] : cases) {
    const program_result result = run("pc98tilepatch", args);
    EXPECT_EQ(result.status, 1) << output;
    EXPECT_EQ(result.output, output);
    EXPECT_FALSE(fs::exists(dir / "KV_Mirath.NEW.fdi") || fs::exists(dir / "KV_Thalwynd.NEW.fdi"));
  }
}

TEST_F(pc98tilepatch_run, refused_or_failed_saves_keep_existing_files) {
  ASSERT_EQ(run("pc98tiles", {"sheet.bmp"}).status, 0);
  const bytes disk1 = read_file(dir / "KV_Mirath.fdi");
  write_file(dir / "KV_Thalwynd.NEW.fdi", std::string("old"));
  program_result result = run("pc98tilepatch", {"sheet.bmp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(
      result.output,
      "write 'KV_Mirath.NEW.fdi'\nalready exists 'KV_Thalwynd.NEW.fdi'\noverwrite ? (Y or N): \n");
  EXPECT_EQ(read_file(dir / "KV_Mirath.NEW.fdi").size(), disk1.size());
  EXPECT_EQ(fs::file_size(dir / "KV_Thalwynd.NEW.fdi"), 3u);

  result = run("pc98tilepatch", {"sheet.bmp"}, "n\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "already exists 'KV_Mirath.NEW.fdi'\noverwrite ? (Y or N): ");

  fs::create_directory(dir / "folder");
  result = run("pc98tilepatch", {"sheet.bmp", "--write1", "folder", "--write2", "x.fdi"}, "y\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output,
            "already exists 'folder'\noverwrite ? (Y or N): open error 'folder'\nwrite disk image "
            "error folder\n");
  EXPECT_TRUE(fs::is_directory(dir / "folder") && fs::is_empty(dir / "folder") &&
              !fs::exists(dir / "x.fdi"));

  result = run("pc98tilepatch", {"sheet.bmp", "--write1", "x.fdi", "--write2", "missing/y.fdi"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output,
            "write 'x.fdi'\nopen error 'missing/y.fdi'\nwrite disk image error missing/y.fdi\n");

  // Default output names stay beside their inputs, even in a folder with a dot.
  fs::create_directory(dir / "v1.2");
  fs::rename(dir / "KV_Mirath.fdi", dir / "v1.2/mirath");
  fs::rename(dir / "KV_Thalwynd.fdi", dir / "v1.2/thal.fdi");
  result =
      run("pc98tilepatch", {"sheet.bmp", "--disk1", "v1.2/mirath", "--disk2", "v1.2/thal.fdi"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "write 'v1.2/mirath.NEW'\nwrite 'v1.2/thal.NEW.fdi'\n");
  EXPECT_TRUE(fs::exists(dir / "v1.2/mirath.NEW") && fs::exists(dir / "v1.2/thal.NEW.fdi"));
}
