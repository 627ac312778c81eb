// The Apple II reader on fuzzed VTOC, catalog and T/S list sectors laid over
// a fixed image holding the two shape files: the catalog walk in the sector
// order asked for, both files read, and, when both are whole, the tile sheet
// rendered and converted with the options the input asks for.
#include <algorithm>
#include <array>
#include <vector>

#include "apple2/apple2.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const apple_fuzz_image fixed = apple2_fuzz_image();
  static std::array<std::vector<std::uint8_t>, 2> images = fixed.images;
  // The input's bytes, and the image's own where the input is shorter.
  std::vector<std::uint8_t> input = fixed.overlay_bytes;
  input.resize(input.size() + 2, 0);
  std::copy_n(data, std::min(size, input.size()), input.begin());
  const int selector = input[fixed.overlay_bytes.size()];
  const int choice = input[fixed.overlay_bytes.size() + 1];
  const apple_sector_map& map = (selector & 1) == 0 ? dos_sector_map : prodos_sector_map;
  std::vector<std::uint8_t>& bytes = images[static_cast<std::size_t>(selector & 1)];
  for (std::size_t i = 0; i < fixed.overlay.size(); ++i) {
    const auto [track, sector] = fixed.overlay[i];
    const int to = (track * 16 + map[sector]) * apple_sector_bytes;
    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(i) * apple_sector_bytes,
                apple_sector_bytes, bytes.begin() + to);
  }

  apple_disk disk;
  if (decode_apple_disk(disk, std::move(bytes), "fuzz.dsk", (selector >> 1 & 3) % 3) == 0) {
    std::vector<std::uint8_t> shapes(2 * shape_file_bytes);
    int whole = 0;
    for (std::size_t i = 0; i < 2; ++i) {
      const auto half = std::span(shapes).subspan(i * shape_file_bytes, shape_file_bytes);
      whole += read_apple_file(disk, shape_file_names[i], half) == shape_file_bytes ? 1 : 0;
    }
    // Rendering depends on nothing but the files and the options, and costs
    // more than everything else together: files just rendered with the same
    // options (most inputs read the fixed image's own) are not rendered again.
    static std::array<std::vector<std::uint8_t>, 256> rendered;
    if (whole == 2 && shapes != rendered[static_cast<std::size_t>(choice)]) {
      render_options o;  // as a2tiles sets them: half dots only at scale 2
      o.tile_width = (choice & 1) != 0 ? 16 : 14;
      o.scale = (choice & 2) != 0 ? 2 : 1;
      o.half_shift = o.scale == 2 && (choice & 4) != 0;
      o.dither = o.scale == 2 ? (choice >> 3 & 3) % 3 : 0;
      o.ega = (choice & 32) != 0;
      o.color_mode = choice >> 6 & 3;
      const render_geometry geometry = compute_render_geometry(o);
      std::vector<std::uint8_t> canvas = render_tile_sheet(shapes, o, geometry);
      convert_tile_sheet(canvas, o, geometry);
      rendered[static_cast<std::size_t>(choice)] = shapes;
    }
  }
  // A failed load keeps the image too (its length is never refused).
  bytes = std::move(disk.disk_data);
  return 0;
}
