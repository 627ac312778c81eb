// Test support shared by every folder's tests: standard-output capture, a
// temporary folder, whole-file helpers and running a built program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "bitmap/bitmap.h"

using bytes = std::vector<std::uint8_t>;

// Runs `body` and returns what it printed to standard output.
std::string capture_stdout(const std::function<void()>& body);

// Runs `call` and returns its result and what it printed to standard output.
template <typename Call>
std::pair<int, std::string> result_and_output(Call call) {
  int result = 0;
  std::string output = capture_stdout([&] { result = call(); });
  return {result, output};
}

// A fresh, empty folder that is removed with everything in it at the end.
struct temp_dir {
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  std::filesystem::path path;
  std::filesystem::path operator/(const std::string& name) const { return path / name; }
};

bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const bytes& data);
void write_file(const std::filesystem::path& path, const std::string& text);
// Makes `path` a file of `size` zero bytes without writing them (sparse
// where the file system allows) and returns its name.
std::string write_sparse_file(const std::filesystem::path& path, std::uintmax_t size);
// The entries of a folder and its sub-folders, as relative paths.
std::set<std::string> names_in(const std::filesystem::path& folder);

struct program_result {
  int status = -1;
  std::string output;  // standard output
  bool operator==(const program_result&) const = default;
};
// Shows a result in GoogleTest's messages.
void PrintTo(const program_result& result, std::ostream* out);

// Runs the built program `name` (egatiles, pc98tiles, ...) in `folder` with
// `args` and `input` on its standard input, and waits for it. The programs
// are taken from the build folder; the environment variable
// SHAPETOOLS_PROGRAM_DIR names another folder, SHAPETOOLS_PROGRAM_SUFFIX
// their file name ending (".exe") and SHAPETOOLS_PROGRAM_RUNNER a command
// to run them through (for example wine for Windows builds).
program_result run_program(const std::string& name, const std::vector<std::string>& args,
                           const std::filesystem::path& folder, const std::string& input = "");

// A run of a built program and what it must answer: its exit status and
// everything it prints.
struct run_case {
  std::string program;
  std::vector<std::string> args;
  int status = 1;
  std::string output;
};

// Runs each case in `folder` with `input` on standard input and checks its
// status and output.
void expect_runs(const std::filesystem::path& folder, std::span<const run_case> cases,
                 const std::string& input = "n\n");

// True when the programs run through SHAPETOOLS_PROGRAM_RUNNER (a Windows
// build under wine), where links and file limits work the Windows way.
bool programs_run_through_runner();

// How run_program_with runs a program beyond what run_program does.
struct run_options {
  bool input_through_pipe = false;   // standard input from a pipe, not a file
  bool output_through_pipe = false;  // standard output into a pipe, not a file
  std::size_t memory_limit = 0;      // bytes of address space (a multiple of 1024), 0 for none
  std::size_t file_limit = 0;        // bytes each file written may hold (a multiple of 512), 0 for none
};

// As run_program, with pipes and limits as `options` ask: a file limit makes
// a longer write fail part-way. Nothing where they cannot be had: on
// Windows and through SHAPETOOLS_PROGRAM_RUNNER (whose own files a file
// limit would limit), and a memory limit under AddressSanitizer, whose
// shadow memory alone needs far more address space.
std::optional<program_result> run_program_with(const run_options& options, const std::string& name,
                                               const std::vector<std::string>& args,
                                               const std::filesystem::path& folder,
                                               const std::string& input = "");

// A loop device attached to a file for its lifetime (Linux, as root), so a
// test can name a real block device; `path` is empty, and `why_not` says
// why, where none can be had.
struct loop_device {
  explicit loop_device(const std::filesystem::path& file);
  ~loop_device();
  loop_device(const loop_device&) = delete;
  loop_device& operator=(const loop_device&) = delete;

  std::string path;
  std::string why_not;
};

// A BMP file as the bitmap library reads it.
struct bitmap_image {
  bitmap_header header;
  bytes palette;
  bytes canvas;
};

// The 16 standard EGA colours as BMP palette entries (blue, green, red, 0):
// black, blue, green, cyan, red, magenta, brown, light grey, then dark grey
// and the light blue, green, cyan, red, magenta, yellow (55 for dark, FF for
// light) and white.
inline const bytes ega_colours = {
    0x00, 0x00, 0x00, 0, 0xAA, 0x00, 0x00, 0, 0x00, 0xAA, 0x00, 0, 0xAA, 0xAA, 0x00, 0,
    0x00, 0x00, 0xAA, 0, 0xAA, 0x00, 0xAA, 0, 0x00, 0x55, 0xAA, 0, 0xAA, 0xAA, 0xAA, 0,
    0x55, 0x55, 0x55, 0, 0xFF, 0x55, 0x55, 0, 0x55, 0xFF, 0x55, 0, 0xFF, 0xFF, 0x55, 0,
    0x55, 0x55, 0xFF, 0, 0xFF, 0x55, 0xFF, 0, 0x55, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0};

// The sheet palette of the PC-98 and X68000 tools: index bits 1 blue, 2 red,
// 4 green, and 8 the mask, shown in the fourth byte (blue, green, red, mask).
inline const bytes digital_colours = [] {
  bytes palette;
  for (int i = 0; i < 64; ++i) {
    const int bit = i % 4 == 0 ? 1 : i % 4 == 1 ? 4 : i % 4 == 2 ? 2 : 8;
    palette.push_back((i / 4 & bit) != 0 ? 0xFF : 0);
  }
  return palette;
}();

// A whole BMP file as the library's own writer encodes it (an empty palette
// is all black).
bytes bitmap_file_bytes(std::uint32_t width, std::uint32_t height, std::uint16_t bit_count,
                        std::span<const std::uint8_t> palette, const bytes& canvas);

// Reads a BMP; a failure fails the calling test.
bitmap_image load_bitmap(const std::filesystem::path& path);

// Saves an indexed BMP again as a paint program might: at 24 bits, or at
// 8 bits with its colours listed in reverse order. Only the top `height`
// rows are kept.
void resave_bitmap(const std::filesystem::path& path, std::uint16_t bit_count,
                   std::uint32_t height);

// Writes every extractor's default input into `folder`: SHAPES.EGA,
// KVboot.dsk (DOS 3.3 order), KV_Mirath.fdi, KV_Thalwynd.fdi and
// kv-mirath.xdf, each shape file of pseudo-random bytes.
void write_extractor_inputs(const std::filesystem::path& folder);

// A deterministic pseudo-random byte sequence for test data.
bytes pattern_bytes(std::size_t count, std::uint32_t seed);
