// The FAT12 loader on a fuzzed image, then reading the first file of the
// root directory and writing it back and saving, and the X68000 and PC-98
// extractors' whole flow on the same image.
#include <array>
#include <filesystem>
#include <vector>

#include "fat12/fat12.h"
#include "fuzz/fuzz_support.h"
#include "pc98/pc98.h"
#include "x68k/x68k.h"

namespace {

// Reads and rewrites a file of the image, as the patch tools do.
void round_trip_file(disk_image& image, const std::string& name, const std::string& output) {
  std::array<char, 12> dos_name{};
  dir_entry entry;
  if (make_dos_filename(dos_name, name) != 0 ||
      find_dir_entry(image, dos_name, true, entry) != 0) {
    return;
  }
  // Lengths beyond the image cannot be met by any chain; cap the buffer.
  const std::size_t length = std::min<std::size_t>(entry.size, image.image_data.size());
  std::vector<std::uint8_t> buffer(length);
  if (read_image_file(image, name, buffer, true) != 0) return;
  for (auto& b : buffer) b ^= 0x5A;
  if (write_image_file(image, name, buffer, true) != 0) return;
  save_disk_image(image, output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = write_scratch_file("image.img", data, size);
  const std::string output = (fuzz_scratch_dir() / "image.out").string();
  for (std::int32_t offset : {xdf_volume_offset, fdi_volume_offset}) {
    disk_image image;
    if (load_disk_image(image, path, offset) != 0) continue;
    round_trip_file(image, "shape.pat", output);
    round_trip_file(image, "ocshape.pat", output);
    free_disk_image(image);
  }

  const auto dir = fuzz_scratch_dir();
  std::filesystem::remove(dir / "sheet.bmp");
  std::filesystem::remove(dir / "mask.bmp");
  run_with_args(run_x68ktiles, {"x68ktiles", "--disk", path, (dir / "sheet.bmp").string(),
                                (dir / "mask.bmp").string()});
  std::filesystem::remove(dir / "sheet.bmp");
  std::filesystem::remove(dir / "mask.bmp");
  run_with_args(run_pc98tiles, {"pc98tiles", "--disk1", path, "--disk2", path,
                                (dir / "sheet.bmp").string(), (dir / "mask.bmp").string()});
  return 0;
}
