// egatiles' whole flow on a fuzzed SHAPES.EGA.
#include "ega/ega.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = write_scratch_file("SHAPES.EGA", data, size);
  run_with_args(run_egatiles,
                {"egatiles", path, (fuzz_scratch_dir() / "sheet.bmp").string()});
  return 0;
}
