// The Apple II loader on a fuzzed image, reading both shape files, rendering
// them with a few option sets, and a2tiles' whole flow on the same image.
#include <vector>

#include "apple2/apple2.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = write_scratch_file("disk.dsk", data, size);
  apple_disk disk;
  const int order = static_cast<int>(size % 3);
  if (load_apple_disk(disk, path, order) == 0) {
    std::vector<std::uint8_t> shapes(2 * shape_file_bytes);
    const std::span<std::uint8_t> halves[2] = {
        std::span(shapes).first(shape_file_bytes), std::span(shapes).last(shape_file_bytes)};
    for (int i = 0; i < 2; ++i) read_apple_file(disk, shape_file_names[i], halves[i]);

    render_options options[4];
    options[1].tile_width = 16;
    options[1].color_mode = color_no_white;
    options[2].scale = 2;
    options[2].half_shift = true;
    options[2].dither = 2;
    options[2].ega = true;
    options[3].scale = 2;
    options[3].tile_width = 16;
    options[3].half_shift = true;
    options[3].dither = 1;
    options[3].color_mode = color_no_blur;
    for (const render_options& o : options) {
      const render_geometry geometry = compute_render_geometry(o);
      std::vector<std::uint8_t> canvas = render_tile_sheet(shapes, o, geometry);
      convert_tile_sheet(canvas, o, geometry);
    }
  }
  free_apple_disk(disk);
  run_with_args(run_a2tiles, {"a2tiles", "--disk", path, "--2", "--half-shift",
                              (fuzz_scratch_dir() / "sheet.bmp").string()});
  return 0;
}
