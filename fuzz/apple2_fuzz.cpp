// The Apple II reader on fuzzed VTOC, catalog and T/S list sectors laid over
// a fixed image holding the two shape files: the image decoded from memory
// in the sector order asked for and both files read; when both are whole,
// a2tiles on the image with the options the input asks for.
#include <algorithm>
#include <array>
#include <functional>
#include <span>
#include <string_view>
#include <unordered_set>
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
  std::vector<std::uint8_t>& image_bytes = images[static_cast<std::size_t>(selector & 1)];
  for (std::size_t i = 0; i < fixed.overlay.size(); ++i) {
    const auto [track, sector] = fixed.overlay[i];
    const int to = (track * 16 + map[static_cast<std::size_t>(sector)]) * apple_sector_bytes;
    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(i) * apple_sector_bytes,
                apple_sector_bytes, image_bytes.begin() + to);
  }

  apple_disk disk;
  const int sector_order = (selector >> 1 & 3) % 3;
  if (decode_apple_disk(disk, std::move(image_bytes), "fuzz.dsk", sector_order) == 0) {
    std::vector<std::uint8_t> shapes(2 * shape_file_bytes);
    int whole = 0;
    for (std::size_t i = 0; i < 2; ++i) {
      const auto half = std::span(shapes).subspan(i * shape_file_bytes, shape_file_bytes);
      whole += read_apple_file(disk, shape_file_names[i], half) == shape_file_bytes ? 1 : 0;
    }
    // Files read whole are rendered by a2tiles' whole flow on the image, with
    // the options asked for. Rendering depends on nothing but the files and
    // the options, and costs more than everything else together: files
    // rendered before with the same options (most inputs read the fixed
    // image's own) are not rendered again.
    static std::unordered_set<std::size_t> rendered;
    const std::string_view files(reinterpret_cast<const char*>(shapes.data()), shapes.size());
    if (whole == 2 && rendered.insert(std::hash<std::string_view>{}(files) * 257 + static_cast<std::size_t>(choice)).second) {
      const std::string image = (fuzz_scratch_dir() / "disk.dsk").string();
      write_file(image, disk.container.file_bytes);
      const char* const colours[] = {"--mono", "--no-white", "--blur", "--no-blur"};
      const char* const flags[] = {"--16", "--2", "--half-shift", "--dither", "--dither2", "--ega"};
      std::vector<std::string> args = {"a2tiles", "--disk", image, colours[choice >> 6 & 3]};
      if (sector_order != 0) args.push_back(sector_order == 1 ? "--do" : "--po");
      for (int bit = 0; bit < 6; ++bit) {
        if ((choice >> bit & 1) != 0) args.push_back(flags[bit]);
      }
      args.push_back((fuzz_scratch_dir() / "sheet.bmp").string());
      run_with_args(run_a2tiles, args);
    }
  }
  // A failed load keeps the image too (its length is never refused, and it
  // is always a DSK: the input lies from track 17 on).
  image_bytes = std::move(disk.container.file_bytes);
  return 0;
}
