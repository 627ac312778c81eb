// Argument scan, console questions and guarded output files.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "bitmap/bitmap.h"
#include "tool/tool.h"

void print_usage(std::span<const char* const> usage) {
  for (const char* line : usage) std::printf("%s", line);
}

// Prints "NAME VERSION\n", NAME taken from "usage: NAME ..." so that it
// reads as the usage text does whatever the program file is called.
static void print_version(std::span<const char* const> usage) {
  constexpr std::string_view prefix = "usage: ";
  std::string_view name = usage.empty() ? "" : usage.front();
  if (name.starts_with(prefix)) name.remove_prefix(prefix.size());
  name = name.substr(0, name.find(' '));
  std::printf("%.*s %s\n", static_cast<int>(name.size()), name.data(), SHAPETOOLS_VERSION);
}

int scan_arguments(int argc, char** argv, std::span<const command_option> options,
                   int positional_slots, std::span<const char* const> usage,
                   std::vector<std::string>& positionals) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.empty() || argument[0] != '-') {
      if (static_cast<int>(positionals.size()) >= positional_slots) {
        std::printf("unneeded parameter '%s'\n", argument.c_str());
        return -1;
      }
      positionals.push_back(argument);
      continue;
    }
    if (argument == "--help") {
      print_usage(usage);
      return -1;
    }
    if (argument == "--version") {
      print_version(usage);
      return 1;
    }
    const command_option* match = nullptr;
    for (const command_option& option : options) {
      if (option.name == argument) {
        match = &option;
        break;
      }
    }
    if (match == nullptr) {
      std::printf("unknown option '%s'\n", argument.c_str());
      return -1;
    }
    if (!match->takes_value) {
      match->apply(std::string());
      continue;
    }
    if (i + 1 >= argc) {
      std::printf("%s", match->missing_value);
      return -1;
    }
    match->apply(argv[++i]);
  }
  return 0;
}

int ask_yes_no(const char* question) {
  std::printf("%s (Y or N): ", question);
  std::fflush(stdout);
  for (;;) {
    const int c = std::getchar();
    if (c == EOF) {
      // No answer will come (a script with no input): refuse, and end the
      // question's line so the next message starts on its own.
      std::printf("\n");
      return 0;
    }
    if (c == 'y' || c == 'Y') return 1;
    if (c == 'n' || c == 'N') return 0;
  }
}

bool confirm_overwrite(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) return true;
  std::printf("already exists '%s'\n", path.c_str());
  return ask_yes_no("overwrite ?") > 0;
}

int read_sheet_bitmap(const std::string& path, std::uint32_t width, std::uint32_t min_height,
                      std::uint32_t max_height, int bit_count,
                      std::span<const std::uint8_t> palette, std::span<std::uint8_t> canvas) {
  bitmap_header header;
  std::vector<std::uint8_t> bmp_palette;
  std::vector<std::uint8_t> pixels;
  {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"),
                                                            &std::fclose);
    if (!file) {
      std::printf("open error '%s'\n", path.c_str());
      return -1;
    }
    if (read_bitmap(file.get(), header, &bmp_palette, &pixels, false) < 0) {
      std::printf("read error '%s'\n", path.c_str());
      return -1;
    }
  }
  // The fields are unsigned: a negative (top-down) height is out of range.
  if (header.width != width || header.height < min_height || header.height > max_height) {
    std::printf("bitmap size error '%s' %d x %d\n", path.c_str(), static_cast<int>(header.width),
                static_cast<int>(header.height));
    return -1;
  }
  const auto height = static_cast<int>(header.height);
  std::vector<std::uint8_t> converted;
  if (convert_bit_count(static_cast<int>(width), height, header.bit_count, bmp_palette, pixels,
                        bit_count, palette, converted) < 0 ||
      converted.size() > canvas.size()) {
    std::printf("convert_bit_count() error '%s'\n", path.c_str());
    return -1;
  }
  std::copy(converted.begin(), converted.end(), canvas.begin());
  return height;
}

int save_bitmap_file(const std::string& path, std::uint32_t width, std::uint32_t height,
                     std::uint16_t bit_count, std::span<const std::uint8_t> palette,
                     std::span<const std::uint8_t> pixels) {
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "wb"),
                                                          &std::fclose);
  if (!file) {
    std::printf("open error '%s'\n", path.c_str());
    return -1;
  }
  bitmap_header header;
  init_bitmap_header(header, width, height, bit_count);
  if (write_bitmap(file.get(), header, palette.data(), pixels) < 0) return -2;
  if (std::fclose(file.release()) != 0) {
    std::printf("write error '%s'\n", path.c_str());
    return -3;
  }
  return 0;
}

int write_bitmap_file(const std::string& path, std::uint32_t width, std::uint32_t height,
                      std::uint16_t bit_count, std::span<const std::uint8_t> palette,
                      std::span<const std::uint8_t> pixels) {
  if (!confirm_overwrite(path)) return -1;
  const int saved = save_bitmap_file(path, width, height, bit_count, palette, pixels);
  // A failed write_bitmap has printed only its own line; name the file too.
  if (saved == -2) std::printf("write error '%s'\n", path.c_str());
  return saved < 0 ? -1 : 0;
}
