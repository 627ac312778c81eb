#include "fuzz/fuzz_support.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

namespace {

// The scratch folder, removed again when the process ends.
struct scratch_folder {
  std::filesystem::path path;
  ~scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

std::filesystem::path fuzz_scratch_dir() {
  static const scratch_folder dir{[] {
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    auto path = std::filesystem::temp_directory_path() /
                ("shapetools-fuzz-" + std::to_string(stamp) + "-" + std::to_string(random()));
    std::filesystem::create_directories(path);
    return path;
  }()};
  return dir.path;
}

std::string write_scratch_file(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const std::string path = (fuzz_scratch_dir() / name).string();
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "wb"),
                                                          &std::fclose);
  if (file && size > 0) std::fwrite(data, 1, size, file.get());
  return path;
}

int run_with_args(int (*run)(int, char**), std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return run(static_cast<int>(args.size()), argv.data());
}
