#include "fuzz/fuzz_support.h"

#include <random>

#include "bitmap/bitmap.h"
#include "testing/container_builder.h"
#include "testing/dos33_builder.h"
#ifdef SHAPETOOLS_PNG
#include "testing/png_builder.h"
#endif

namespace fs = std::filesystem;

namespace {

// A whole BMP of a pattern canvas.
bytes bitmap_seed(std::uint32_t width, std::uint32_t height, std::uint16_t bits,
                  std::uint32_t seed) {
  const auto pixel_bytes = static_cast<std::size_t>(bitmap_pixel_bytes(bits));
  bytes canvas = pattern_bytes(std::size_t{width} * height * pixel_bytes, seed);
  for (auto& b : canvas) b = static_cast<std::uint8_t>(bits <= 8 ? b % (1u << bits) : b);
  return bitmap_file_bytes(width, height, bits, pattern_bytes(1024, seed + 1), canvas);
}

void put(const fs::path& dir, const std::string& target, const std::string& name,
         const bytes& data) {
  fs::create_directories(dir / target);
  write_file(dir / target / name, data);
}

// A disk_fuzz input: the selector byte, then the file.
bytes disk_seed(std::uint8_t selector, const bytes& file) {
  bytes seed{selector};
  seed.insert(seed.end(), file.begin(), file.end());
  return seed;
}

// A WOZ of `version` holding track 0 alone: every other quarter track
// unmapped and its bits cut off (WOZ1: the first 6656-byte record; WOZ2:
// blocks 3-15), the chunks after TRKS dropped.
bytes woz_of_track_0(const dos33_image& image, int version) {
  bytes woz = make_woz(image, version);
  std::fill_n(woz.begin() + 88, 160, std::uint8_t{0xFF});  // TMAP data
  woz[88] = 0;
  const std::size_t end = version == 1 ? 256 + 6656 : 16 * 512;
  if (version == 2) std::fill(woz.begin() + 256 + 8, woz.begin() + 256 + 1280, std::uint8_t{0});
  woz.resize(end);
  write_le32(&woz[252], static_cast<std::uint32_t>(end - 256));  // TRKS size
  return woz;
}

void write_disk_seeds(const fs::path& dir) {
  const bytes volume = pattern_bytes(16 * 1024, 61);  // two tracks
  fat12_volume fdi;
  fdi.data = volume;
  put(dir, "disk_fuzz", "pc98.fdi", disk_seed(0, fdi.as_fdi()));
  put(dir, "disk_fuzz", "pc98.d88", disk_seed(0, make_d88(volume)));
  put(dir, "disk_fuzz", "pc98-r0.nfd", disk_seed(0, make_nfd(volume, 0)));
  put(dir, "disk_fuzz", "pc98-r1.nfd", disk_seed(0, make_nfd(volume, 1, 1)));
  put(dir, "disk_fuzz", "x68k.xdf", disk_seed(1, volume));
  put(dir, "disk_fuzz", "x68k.dim", disk_seed(1, make_dim(volume)));
  put(dir, "disk_fuzz", "x68k.d88", disk_seed(1, make_d88(volume, {0x2A0, true, true, {1}})));

  dos33_image image;
  image.data = pattern_bytes(image.data.size(), 62);
  bytes dsk = image.as_prodos_order();
  dsk.resize(2 * 4096);
  put(dir, "disk_fuzz", "apple.dsk", disk_seed(2, dsk));
  bytes image_2mg = make_2mg(image, 0);
  image_2mg.resize(64 + 2 * 4096);
  write_le32(&image_2mg[0x1C], 2 * 4096);
  write_le32(&image_2mg[0x20], 0);
  write_le32(&image_2mg[0x24], 0);
  put(dir, "disk_fuzz", "apple.2mg", disk_seed(2, image_2mg));
  put(dir, "disk_fuzz", "apple1.woz", disk_seed(2, woz_of_track_0(image, 1)));
  put(dir, "disk_fuzz", "apple2.woz", disk_seed(2, woz_of_track_0(image, 2)));

  // Track 17 alone: the NIB's nibbles, and the WOZ2's bits (TRKS entry 17
  // at byte 256 + 8 * 17: first block, block count, bit count).
  const bytes nib = make_nib(image);
  put(dir, "disk_fuzz", "track.nib",
      disk_seed(3, bytes(nib.begin() + 17 * 6656, nib.begin() + 18 * 6656)));
  const bytes woz = make_woz(image, 2);
  const std::size_t entry = 256 + 8 * 17;
  const std::uint32_t bit_count = read_le32(&woz[entry + 4]);
  bytes track = {static_cast<std::uint8_t>(bit_count), static_cast<std::uint8_t>(bit_count >> 8),
                 static_cast<std::uint8_t>(bit_count >> 16)};
  const auto from = woz.begin() + 512 * read_le16(&woz[entry]);
  track.insert(track.end(), from, from + 512 * read_le16(&woz[entry + 2]));
  put(dir, "disk_fuzz", "track.woz", disk_seed(7, track));
}

// The scratch folder, removed again when the process ends.
struct scratch_folder {
  fs::path path;
  ~scratch_folder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

}  // namespace

fat12_volume fat12_fuzz_volume() {
  fat12_volume volume(400);
  // Fragmented: the first clusters lie after the rest.
  std::vector<int> clusters;
  for (int c = 381; c <= 390; ++c) clusters.push_back(c);
  for (int c = 2; c < 200; ++c) clusters.push_back(c);
  volume.add_file("SHAPE   PAT", pattern_bytes(212544, 11), clusters);
  volume.add_file_contiguous("OCSHAPE PAT", pattern_bytes(108160, 12), 200);
  volume.add_file_contiguous("SWSHAPE PAT", pattern_bytes(62464, 13), 306);
  return volume;
}

apple_fuzz_image apple2_fuzz_image() {
  dos33_image disk;
  apple_fuzz_image image;
  for (int s = 0; s < 16; ++s) image.overlay.emplace_back(17, s);
  for (int i = 0; i < 2; ++i) {
    const std::uint8_t type = i == 0 ? 0x04 : 0x84;  // binary, the second one locked
    const bytes contents = dos33_image::with_length_header(type, pattern_bytes(4096, static_cast<std::uint32_t>(21 + i)));
    const dos33_file file = disk.add_file(i == 0 ? "S\x01HP0" : "S\x01HP1", type, contents);
    image.overlay.emplace_back(file.ts_lists[0].track, file.ts_lists[0].sector);
  }
  for (const auto& [track, sector] : image.overlay) {
    const auto own = disk.sector(track, sector);
    image.overlay_bytes.insert(image.overlay_bytes.end(), own.begin(), own.end());
  }
  image.images = {disk.as_dos_order(), disk.as_prodos_order()};
  return image;
}

void write_seed_corpora(const fs::path& dir) {
  std::uint32_t seed = 100;
  for (const std::uint16_t bits : std::array<std::uint16_t, 6>{1, 4, 8, 16, 24, 32}) {
    put(dir, "bmp_fuzz", "small" + std::to_string(bits) + ".bmp", bitmap_seed(13, 7, bits, ++seed));
  }
  put(dir, "bmp_fuzz", "wide1.bmp", bitmap_seed(70, 3, 1, ++seed));

  bytes system_area = fat12_fuzz_volume().data;
  system_area.resize(fat12_system_bytes + 1);
  for (const std::uint8_t fdi : std::array<std::uint8_t, 2>{0, 1}) {
    system_area.back() = fdi;
    put(dir, "fat12_fuzz", fdi ? "volume.fdi" : "volume.xdf", system_area);
  }
  // Both image orders, each sector order, and the option sets of a2tiles'
  // manual page.
  bytes apple = apple2_fuzz_image().overlay_bytes;
  apple.resize(apple.size() + 2);
  for (const std::uint8_t selector : std::array<std::uint8_t, 5>{0, 1, 2, 3, 5}) {
    for (const std::uint8_t choice :
         std::array<std::uint8_t, 6>{0x80, 0x41, 0x06, 0xA6, 0xD3, 0x8E}) {
      apple.end()[-2] = selector;
      apple.back() = choice;
      const std::string name = std::to_string(selector) + "-" + std::to_string(choice);
      put(dir, "apple2_fuzz", "image" + name, apple);
    }
  }

  write_disk_seeds(dir);

  put(dir, "egatiles_fuzz", "shapes.ega", pattern_bytes(32768, 41));
  put(dir, "egatiles_fuzz", "short.ega", pattern_bytes(1000, 42));
  put(dir, "sheet_patch_fuzz", "x68k_sheet.bmp", bitmap_seed(576, 576, 4, 51));
  put(dir, "sheet_patch_fuzz", "pc98_mask.bmp", bitmap_seed(512, 512, 1, 52));

#ifdef SHAPETOOLS_PNG
  // Every colour type and bit depth, interlaced or not, with and without
  // ancillary chunks, and an X68000 sheet; without their signature.
  bytes colours;
  for (const auto& [type, depth] : png_kinds) {
    png_picture picture = random_png(type, depth, 13, 7, ++seed, colours);
    picture.interlaced = depth % 2 == 0;
    const bytes png = png_file_bytes(picture, type != 6);
    put(dir, "png_fuzz", "kind" + std::to_string(type) + "-" + std::to_string(depth) + ".png",
        bytes(png.begin() + 8, png.end()));
  }
  const bytes sheet = png_file_bytes(random_png(3, 4, 576, 576, 61, colours));
  put(dir, "png_fuzz", "x68k_sheet.png", bytes(sheet.begin() + 8, sheet.end()));
#endif
}

fs::path fuzz_scratch_dir() {
  static const scratch_folder dir{[] {
    // Every save is flushed to stable storage: in memory that costs nothing.
    std::error_code error;
    const fs::path base =
        fs::is_directory("/dev/shm", error) ? "/dev/shm" : fs::temp_directory_path();
    const fs::path path = base / ("shapetools-fuzz-" + std::to_string(std::random_device{}()));
    fs::create_directories(path);
    const fat12_volume volume = fat12_fuzz_volume();
    write_file(path / "x68k.xdf", volume.as_xdf());
    write_file(path / "disk1.fdi", volume.as_fdi());
    write_file(path / "disk2.fdi", volume.as_fdi());
    write_file(path / "disk1.NEW.fdi", bytes{});
    fs::create_symlink("disk2.NEW.fdi", path / "link.fdi");
    write_file(path / "answers", std::string("y\ny\ny\ny\ny\ny\n"));
    return path;
  }()};
  return dir.path;
}

std::string write_scratch_file(const std::string& name, const std::uint8_t* data,
                               std::size_t size) {
  const fs::path path = fuzz_scratch_dir() / name;
  write_file(path, bytes(data, data + size));
  return path.string();
}

int run_with_args(int (*run)(int, char**), std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return run(static_cast<int>(args.size()), argv.data());
}
