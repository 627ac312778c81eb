// Both patch tools' whole flow on a fuzzed sheet BMP (used as sheet and as
// mask), against synthetic images that hold their shape files.
#include <filesystem>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_seeds.h"
#include "pc98/pc98.h"
#include "x68k/x68k.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto dir = fuzz_scratch_dir();
  static const bool images_ready = [&] {
    write_seed_images(dir);
    return true;
  }();
  (void)images_ready;
  const std::string sheet = write_scratch_file("edited.bmp", data, size);
  const auto x68k_out = dir / "x68k.NEW.xdf";
  const auto disk1_out = dir / "disk1.NEW.fdi";
  const auto disk2_out = dir / "disk2.NEW.fdi";
  for (const auto& out : {x68k_out, disk1_out, disk2_out}) std::filesystem::remove(out);
  run_with_args(run_x68ktilepatch, {"x68ktilepatch", "--disk", (dir / "x68k.xdf").string(),
                                    "--write", x68k_out.string(), sheet, sheet});
  run_with_args(run_pc98tilepatch,
                {"pc98tilepatch", "--disk1", (dir / "disk1.fdi").string(), "--disk2",
                 (dir / "disk2.fdi").string(), "--write1", disk1_out.string(), "--write2",
                 disk2_out.string(), "--no-shores", sheet});
  return 0;
}
