// The BMP reader, then the conversions the patch tools make (the sheet onto
// the 8 digital colours, the masks onto black and white) and the encoding
// back at the file's own bit count.
#include <cstdio>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "bitmap/bitmap.h"
#include "pc98/pc98.h"
#include "x68k/x68k.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::tmpfile(), &std::fclose);
  if (!file || (size > 0 && std::fwrite(data, size, 1, file.get()) != 1)) return 0;
  std::rewind(file.get());
  bitmap_header header;
  std::vector<std::uint8_t> palette;
  std::vector<std::uint8_t> canvas;
  if (read_bitmap(file.get(), header, &palette, &canvas, false) != 0) return 0;
  const std::pair<int, std::span<const std::uint8_t>> conversions[] = {
      {4, pc98_patch_palette}, {1, pc98_patch_mask_palette}, {4, x68k_patch_mask_palette}};
  std::vector<std::uint8_t> converted;
  for (const auto& [bits, to] : conversions) {
    convert_bit_count(static_cast<int>(header.width), static_cast<int>(header.height),
                      header.bit_count, palette, canvas, bits, to, converted);
  }
  encode_bitmap(header, palette.empty() ? nullptr : palette.data(), canvas, converted);
  return 0;
}
