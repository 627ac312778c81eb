// The BMP reader, then the conversions the patch tools make: the sheet onto
// the 8 digital colours, the mask onto black and white.
#include <cstdio>
#include <memory>
#include <vector>

#include "bitmap/bitmap.h"
#include "pc98/pc98.h"
#include "x68k/x68k.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::tmpfile(), &std::fclose);
  if (!file) return 0;
  if (size > 0) std::fwrite(data, 1, size, file.get());
  std::rewind(file.get());

  bitmap_header header;
  std::vector<std::uint8_t> palette;
  std::vector<std::uint8_t> canvas;
  if (read_bitmap(file.get(), header, &palette, &canvas, false) != 0) return 0;
  const auto width = static_cast<int>(header.width);
  const auto height = static_cast<int>(header.height);
  std::vector<std::uint8_t> converted;
  convert_bit_count(width, height, header.bit_count, palette, canvas, 4, pc98_patch_palette,
                    converted);
  convert_bit_count(width, height, header.bit_count, palette, canvas, 1, pc98_patch_mask_palette,
                    converted);
  convert_bit_count(width, height, header.bit_count, palette, canvas, 4, x68k_patch_mask_palette,
                    converted);
  // Back out again at the file's own bit count.
  std::unique_ptr<std::FILE, decltype(&std::fclose)> out(std::tmpfile(), &std::fclose);
  if (out) write_bitmap(out.get(), header, palette.empty() ? nullptr : palette.data(), canvas);
  return 0;
}
