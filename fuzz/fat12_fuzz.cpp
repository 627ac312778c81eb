// The FAT12 reader on a fuzzed system area (boot sector, FATs, root
// directory) laid over a fixed volume whose data area holds the X68000 and
// PC-98 shape files: each file is read at the length its tool asks for,
// written back changed, read again, and restored.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fat12/fat12.h"
#include "fuzz/fuzz_support.h"

namespace {

// The shape files and the lengths their tools read.
constexpr std::pair<const char*, std::size_t> shape_files[] = {
    {"shape.pat", 212544}, {"ocshape.pat", 108160}, {"swshape.pat", 62464}};

// Writing a file and reading it back must give the bytes written; the
// file's own bytes are written back after. (memcpy, not a byte loop: loops
// here would be traced like the reader's own comparisons.)
void round_trip(disk_image& image, const char* name, std::size_t length) {
  static std::array<std::vector<std::uint8_t>, 3> buffers;
  auto& [original, changed, check] = buffers;
  for (auto& buffer : buffers) buffer.resize(length);
  if (read_image_file(image, name, original, true) != 0) return;
  std::memcpy(changed.data(), original.data() + 1, length - 1);
  changed.back() = original.front();
  if (write_image_file(image, name, changed, true) != 0) return;
  if (read_image_file(image, name, check, true) != 0 || check != changed ||
      write_image_file(image, name, original, true) != 0) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The two image files, kept between inputs: every change to the data area
  // is undone, and the system area is laid afresh.
  static const fat12_volume volume = fat12_fuzz_volume();
  static std::array<std::vector<std::uint8_t>, 2> images = {volume.as_xdf(), volume.as_fdi()};
  const bool fdi = size > fat12_system_bytes && (data[fat12_system_bytes] & 1) != 0;
  const std::ptrdiff_t offset = fdi ? fdi_header_bytes : 0;
  std::vector<std::uint8_t>& image_bytes = images[fdi ? 1 : 0];
  std::copy_n(volume.data.begin(), fat12_system_bytes, image_bytes.begin() + offset);
  std::copy_n(data, std::min(size, fat12_system_bytes), image_bytes.begin() + offset);

  // The image always holds a whole system area; decoding fails only where
  // the input makes the X68000 file another container (a damaged DIM or
  // D88), and then the file is made afresh.
  disk_image image;
  if (decode_disk_image(image, std::move(image_bytes), "fuzz.img",
                        fdi ? disk_family::pc98 : disk_family::x68k) != 0) {
    image_bytes = fdi ? volume.as_fdi() : volume.as_xdf();
    return 0;
  }
  for (const auto& [name, length] : shape_files) round_trip(image, name, length);
  image_bytes = std::move(image.container.file_bytes);
  return 0;
}
