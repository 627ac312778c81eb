#include "fuzz/fuzz_seeds.h"

#include <cstdio>
#include <memory>
#include <string>

#include "bitmap/bitmap.h"
#include "testing/dos33_builder.h"
#include "testing/fat12_builder.h"
#include "testing/testing.h"

namespace {

// A whole BMP of a pattern canvas.
bytes bitmap_seed(std::uint32_t width, std::uint32_t height, std::uint16_t bits, std::uint32_t seed) {
  bitmap_header header;
  init_bitmap_header(header, width, height, bits);
  bytes canvas = pattern_bytes(std::size_t{width} * height * static_cast<std::size_t>(bitmap_pixel_bytes(bits)), seed);
  if (bits <= 8) {
    for (auto& b : canvas) b = static_cast<std::uint8_t>(b % (1u << bits));
  }
  const bytes palette = pattern_bytes(1024, seed + 1);
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::tmpfile(), &std::fclose);
  write_bitmap(file.get(), header, palette.data(), canvas);
  bytes data(static_cast<std::size_t>(std::ftell(file.get())));
  std::rewind(file.get());
  if (std::fread(data.data(), data.size(), 1, file.get()) != 1) data.clear();
  return data;
}

void put(const std::filesystem::path& dir, const std::string& target, const std::string& name,
         const bytes& data) {
  std::filesystem::create_directories(dir / target);
  write_file(dir / target / name, data);
}

bytes x68k_image() {
  fat12_volume volume;
  const bytes shapes = pattern_bytes(212544, 11);
  // Fragmented: the first clusters lie after the rest.
  std::vector<int> clusters;
  for (int c = 300; c < 310; ++c) clusters.push_back(c);
  for (int c = 2; c < 2 + fat12_volume::clusters_for(shapes.size()) - 10; ++c) clusters.push_back(c);
  volume.add_file("SHAPE   PAT", shapes, clusters);
  return volume.as_xdf();
}

bytes pc98_image(const char* dos_name, std::size_t length, std::uint32_t seed) {
  fat12_volume volume;
  volume.add_file_contiguous(dos_name, pattern_bytes(length, seed), 5);
  return volume.as_fdi();
}

bytes apple_image() {
  dos33_image disk;
  disk.add_file("S\x01HP0", 0x04, dos33_image::with_length_header(0x04, pattern_bytes(4096, 21)));
  disk.add_file("S\x01HP1", 0x84, dos33_image::with_length_header(0x84, pattern_bytes(4096, 22)));
  return disk.as_dos_order();
}

}  // namespace

void write_seed_images(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  write_file(dir / "x68k.xdf", x68k_image());
  write_file(dir / "disk1.fdi", pc98_image("OCSHAPE PAT", 108160, 12));
  write_file(dir / "disk2.fdi", pc98_image("SWSHAPE PAT", 62464, 13));
}

void write_seed_corpora(const std::filesystem::path& dir) {
  std::uint32_t seed = 100;
  for (std::uint16_t bits : {1, 4, 8, 16, 24, 32}) {
    put(dir, "bmp_fuzz", "small" + std::to_string(bits) + ".bmp", bitmap_seed(13, 7, bits, ++seed));
  }
  put(dir, "bmp_fuzz", "wide1.bmp", bitmap_seed(70, 3, 1, ++seed));

  fat12_volume small(32);
  small.add_file("SHAPE   PAT", pattern_bytes(3000, 31), {9, 4, 12});
  small.add_file_contiguous("OCSHAPE PAT", pattern_bytes(1500, 32), 14);
  put(dir, "fat12_fuzz", "small.xdf", small.as_xdf());
  put(dir, "fat12_fuzz", "small.fdi", small.as_fdi());
  put(dir, "fat12_fuzz", "x68k.xdf", x68k_image());

  const bytes apple = apple_image();
  put(dir, "apple2_fuzz", "dos_order.dsk", apple);
  dos33_image prodos;
  prodos.add_file("S\x01HP0", 0x00, pattern_bytes(4096, 23));
  prodos.add_file("S\x01HP1", 0x04, dos33_image::with_length_header(0x04, pattern_bytes(3000, 24)));
  put(dir, "apple2_fuzz", "prodos_order.po", prodos.as_prodos_order());

  put(dir, "egatiles_fuzz", "shapes.ega", pattern_bytes(32768, 41));
  put(dir, "egatiles_fuzz", "short.ega", pattern_bytes(1000, 42));

  put(dir, "sheet_patch_fuzz", "x68k_sheet.bmp", bitmap_seed(576, 576, 4, 51));
  put(dir, "sheet_patch_fuzz", "pc98_mask.bmp", bitmap_seed(512, 512, 1, 52));
}
