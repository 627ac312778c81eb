// Test support shared by every folder's tests: standard-output capture, a
// temporary folder, whole-file helpers and running a built program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using bytes = std::vector<std::uint8_t>;

// Runs `body` and returns what it printed to standard output.
std::string capture_stdout(const std::function<void()>& body);

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

struct program_result {
  int status = -1;
  std::string output;  // standard output
};

// Runs the built program `name` (egatiles, pc98tiles, ...) in `folder` with
// `args` and `input` on its standard input, and waits for it. The programs
// are taken from the build folder; the environment variable
// SHAPETOOLS_PROGRAM_DIR names another folder, SHAPETOOLS_PROGRAM_SUFFIX
// their file name ending (".exe") and SHAPETOOLS_PROGRAM_RUNNER a command
// to run them through (for example wine for Windows builds).
program_result run_program(const std::string& name, const std::vector<std::string>& args,
                           const std::filesystem::path& folder, const std::string& input = "");

// A deterministic pseudo-random byte sequence for test data.
bytes pattern_bytes(std::size_t count, std::uint32_t seed);
