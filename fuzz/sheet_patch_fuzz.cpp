// The whole flows of the patch tools on a fuzzed sheet BMP (used as sheet
// and, for x68ktilepatch, as mask) against fixed images holding their shape
// files, then the extractors on the patched images. The saves go to a
// missing file, over a regular file (answered yes) and through a symbolic
// link.
#include <cstdio>
#include <filesystem>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "bitmap/bitmap.h"
#include "fuzz/fuzz_support.h"
#include "pc98/pc98.h"
#include "x68k/x68k.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#ifdef __GLIBC__
  // The flows allocate the same few megabytes for every input: kept by the
  // allocator instead of handed back, they need no fresh pages each time.
  static const bool memory_kept =
      mallopt(M_MMAP_THRESHOLD, 64 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 256 << 20) == 1;
  (void)memory_kept;
#endif
  const auto dir = fuzz_scratch_dir();
  const auto in = [&dir](const char* name) { return (dir / name).string(); };
  // Every question about replacing a file reads a yes.
  if (std::freopen(in("answers").c_str(), "r", stdin) == nullptr) return 0;
  const std::string sheet = write_scratch_file("edited.bmp", data, size);
  std::filesystem::remove(dir / "x68k.NEW.xdf");

  // A sheet of the other tool's width would be read whole only to be
  // refused by its size: each tool gets the sheets of its own width, and
  // both get every other.
  const std::uint32_t width = size >= 22 ? read_le32(data + 18) : 0;
  if (width != pc98_sheet_width &&
      run_with_args(run_x68ktilepatch, {"x68ktilepatch", "--disk", in("x68k.xdf"), "--write",
                                        in("x68k.NEW.xdf"), sheet, sheet}) == 0) {
    run_with_args(run_x68ktiles, {"x68ktiles", "--disk", in("x68k.NEW.xdf"), in("sheet.bmp"),
                                  in("mask.bmp")});
  }
  if (width != x68k_sheet_width &&
      run_with_args(run_pc98tilepatch, {"pc98tilepatch", "--disk1", in("disk1.fdi"), "--disk2",
                                        in("disk2.fdi"), "--write1", in("disk1.NEW.fdi"),
                                        "--write2", in("link.fdi"), "--no-shores", sheet}) == 0) {
    run_with_args(run_pc98tiles, {"pc98tiles", "--disk1", in("disk1.NEW.fdi"), "--disk2",
                                  in("link.fdi"), in("sheet.bmp"), in("mask.bmp")});
  }
  return 0;
}
