// The patch tools' sheet reader on PNG files. The input is a PNG after its
// signature, its chunk CRCs made right so that changes reach the chunks'
// contents. A picture at most 64 pixels wide is read as a sheet of its own
// width and 1 to 64 rows (every kind of PNG decoded and converted, fast);
// any other as an X68000 sheet.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "testing/png_builder.h"
#include "tool/tool.h"
#include "x68k/x68k.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::vector<std::uint8_t> canvas(x68k_canvas_bytes);
  static constexpr std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  bytes file(sizeof signature + size);
  std::copy_n(signature, sizeof signature, file.begin());
  std::copy_n(data, size, file.begin() + sizeof signature);
  fix_png_crcs(file);
  const std::string sheet = write_scratch_file("sheet.png", file.data(), file.size());
  const std::uint32_t width = file.size() < 20 ? 0 : std::uint32_t{file[18]} << 8 | file[19];
  if (file.size() >= 20 && file[16] == 0 && file[17] == 0 && width >= 1 && width <= 64) {
    read_sheet_bitmap(sheet, width, 1, 64, 4, x68k_patch_palette, canvas);
  } else {
    read_sheet_bitmap(sheet, x68k_sheet_width, 16 * x68k_cell_pixels, x68k_sheet_height, 4,
                      x68k_patch_palette, canvas);
  }
  return 0;
}
