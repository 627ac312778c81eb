// Argument scan, output checks, console questions and guarded output files.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "bitmap/bitmap.h"
#include "file/file.h"
#include "tool/tool.h"

namespace fs = std::filesystem;

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
  for (;;) {
    std::printf("%s (Y or N): ", question);
    std::fflush(stdout);
    int c = std::getchar();
    if (c == EOF) {
      // No answer will come (a script with no input): refuse, and end the
      // question's line so the next message starts on its own.
      std::printf("\n");
      return 0;
    }
    // The first character other than blanks and tabs decides (a NUL too,
    // which is no answer); the rest of the line goes with it, so the next
    // question reads a line of its own.
    int first = EOF;
    for (; c != '\n' && c != EOF; c = std::getchar()) {
      if (first == EOF && c != ' ' && c != '\t') first = c;
    }
    if (first == 'y' || first == 'Y') return 1;
    if (first == 'n' || first == 'N') return 0;
  }
}

bool confirm_overwrite(const std::string& path) {
  std::error_code error;
  const auto status = fs::status(path, error);
  if (error || !fs::exists(status)) return true;
  // A stream (a terminal, /dev/null, a pipe) is written into, not replaced.
  if (fs::is_character_file(status) || fs::is_fifo(status)) return true;
  std::printf("already exists '%s'\n", path.c_str());
  return ask_yes_no("overwrite ?") > 0;
}

bool make_buffer(std::vector<std::uint8_t>& buffer, std::size_t size) {
  try {
    buffer.assign(size, 0);
    return true;
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!\n");
    return false;
  }
}

namespace {

using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// True when `path` ends in ".png", in any letter case.
bool has_png_name(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ending = path.substr(path.size() - 4);
  for (char& c : ending) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return ending == ".png";
}

// The refusal of a PNG by a build without PNG support; -1.
int refuse_png(const std::string& path) {
  std::printf("png error '%s': this build of shapetools has no PNG support\n", path.c_str());
  return -1;
}

// True when `path` is a regular file that begins with the PNG signature.
// A pipe or device is not looked into: bytes read from it would be lost to
// the BMP reader.
bool starts_as_png(const std::string& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return false;
  std::array<std::uint8_t, 8> head{};
  const file_ptr file(open_input_file(path), &std::fclose);
  return file && std::fread(head.data(), head.size(), 1, file.get()) == 1 &&
         is_png_signature(head);
}

// read_sheet_bitmap for a PNG sheet: the BMP path's checks and conversion
// on the PNG's 24-bit canvas.
int read_sheet_png(const std::string& path, std::uint32_t width, std::uint32_t min_height,
                   std::uint32_t max_height, int bit_count, std::span<const std::uint8_t> palette,
                   std::span<std::uint8_t> canvas) {
  if (!png_supported()) return refuse_png(path);
  const file_ptr file(open_input_file(path), &std::fclose);
  if (!file) {
    std::printf("open error '%s'\n", path.c_str());
    return -1;
  }
  const auto accept_size = [&](std::uint32_t w, std::uint32_t h) {
    if (w == width && h >= min_height && h <= max_height) return true;
    std::printf("bitmap size error '%s' %d x %d\n", path.c_str(), static_cast<int>(w),
                static_cast<int>(h));
    return false;
  };
  std::uint32_t png_width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> pixels;
  if (read_png(file.get(), path, accept_size, png_width, height, pixels) < 0) return -1;
  std::vector<std::uint8_t> converted;
  if (convert_bit_count(static_cast<int>(width), static_cast<int>(height), 24, {}, pixels,
                        bit_count, palette, converted) < 0 ||
      converted.size() > canvas.size()) {
    std::printf("convert_bit_count() error '%s'\n", path.c_str());
    return -1;
  }
  std::copy(converted.begin(), converted.end(), canvas.begin());
  return static_cast<int>(height);
}

// save_bitmap_file for a name ending in ".png".
int save_png_file(const std::string& path, std::uint32_t width, std::uint32_t height,
                  std::uint16_t bit_count, std::span<const std::uint8_t> palette,
                  std::span<const std::uint8_t> pixels) {
  if (!png_supported()) return refuse_png(path);
  std::vector<std::uint8_t> file;
  if (encode_png(width, height, bit_count, palette, pixels, file) < 0) {
    std::printf("write error '%s'\n", path.c_str());
    return -1;
  }
  return replace_file(path, file);
}

}  // namespace

int check_png_support(std::span<const output_file> outputs) {
  for (const output_file& output : outputs) {
    if (!png_supported() && has_png_name(output.path)) return refuse_png(output.path);
  }
  return 0;
}

int read_sheet_bitmap(const std::string& path, std::uint32_t width, std::uint32_t min_height,
                      std::uint32_t max_height, int bit_count,
                      std::span<const std::uint8_t> palette, std::span<std::uint8_t> canvas) {
  if (starts_as_png(path)) {
    return read_sheet_png(path, width, min_height, max_height, bit_count, palette, canvas);
  }
  bitmap_header header;
  std::vector<std::uint8_t> bmp_palette;
  std::vector<std::uint8_t> pixels;
  {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(open_input_file(path), &std::fclose);
    if (!file) {
      std::printf("open error '%s'\n", path.c_str());
      return -1;
    }
    // A bitmap larger than the sheet gets no canvas, whatever it claims.
    if (read_bitmap_within(file.get(), header, &bmp_palette, &pixels, width, max_height) < 0) {
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

namespace {

// A path in the form that two names of one missing file share: links
// followed, absolute, normalised, and on Windows in one letter case.
std::string comparable_path(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(link_target(path), error);
  fs::path normal = fs::weakly_canonical(absolute, error);
  if (error) normal = absolute.lexically_normal();
  std::string text = normal.string();
#ifdef _WIN32
  // Windows file names ignore letter case.
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
#endif
  return text;
}

// True when the two paths name one file: the same existing file (or two
// nodes of one block device), or the same missing one. An empty name names
// no file.
bool same_file(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code error;
  const bool a_exists = fs::exists(a, error);
  const bool b_exists = fs::exists(b, error);
  if (a_exists != b_exists) return false;
  if (!a_exists) return comparable_path(a) == comparable_path(b);
  if (fs::equivalent(a, b, error) && !error) return true;
  const auto device = block_device_number(a);
  return device && device == block_device_number(b);
}

// True for an existing stream: a character device (a terminal, /dev/null),
// a pipe or a socket, which a write destroys nothing of. A block device is
// a disk, and compared like any file.
bool is_stream(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  return !error && (fs::is_character_file(status) || fs::is_fifo(status) ||
                    fs::is_socket(status));
}

}  // namespace

int check_output_files(std::span<const std::string> inputs, std::span<const output_file> outputs) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const output_file& output = outputs[i];
    if (is_stream(output.path)) continue;
    for (std::size_t j = 0; j < inputs.size(); ++j) {
      if (static_cast<int>(j) != output.may_replace && same_file(output.path, inputs[j])) {
        std::printf("output is input file '%s'\n", output.path.c_str());
        return -1;
      }
    }
    for (std::size_t k = 0; k < i; ++k) {
      if (same_file(outputs[k].path, output.path)) {
        std::printf("output file given twice '%s'\n", output.path.c_str());
        return -1;
      }
    }
  }
  return 0;
}

int check_sheet_output(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  // A missing file is made; a folder, or a path that cannot be looked at,
  // fails at the save with its own message; a stream is written into.
  if (status.type() == fs::file_type::not_found || error || fs::is_directory(status) ||
      fs::is_character_file(status) || fs::is_fifo(status)) {
    return 0;
  }
  if (fs::is_regular_file(status)) {
    constexpr std::array<std::uint8_t, 8> png_signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::array<std::uint8_t, 8> start{};
    std::size_t length = 0;
    if (std::unique_ptr<std::FILE, decltype(&std::fclose)> file(open_input_file(path), &std::fclose);
        file) {
      length = std::fread(start.data(), 1, start.size(), file.get());
      if (length == 0 && std::ferror(file.get()) == 0) return 0;  // empty
    }
    if ((length >= 2 && start[0] == 'B' && start[1] == 'M') ||
        (length == start.size() && start == png_signature)) {
      return 0;
    }
  }
  std::printf("output is not a bitmap file '%s'\n", path.c_str());
  return -1;
}

int save_bitmap_file(const std::string& path, std::uint32_t width, std::uint32_t height,
                     std::uint16_t bit_count, std::span<const std::uint8_t> palette,
                     std::span<const std::uint8_t> pixels) {
  if (has_png_name(path)) return save_png_file(path, width, height, bit_count, palette, pixels);
  bitmap_header header;
  init_bitmap_header(header, width, height, bit_count);
  // An empty palette writes all-black entries; a given one must be whole.
  const auto entries = static_cast<std::size_t>(std::max(bitmap_palette_entries(bit_count), 0));
  std::vector<std::uint8_t> file;
  if ((!palette.empty() && palette.size() < 4 * entries) ||
      encode_bitmap(header, palette.empty() ? nullptr : palette.data(), pixels, file) < 0) {
    std::printf("write error '%s'\n", path.c_str());
    return -1;
  }
  return replace_file(path, file);
}

int write_bitmap_file(const std::string& path, std::uint32_t width, std::uint32_t height,
                      std::uint16_t bit_count, std::span<const std::uint8_t> palette,
                      std::span<const std::uint8_t> pixels) {
  if (!confirm_overwrite(path)) return -1;
  return save_bitmap_file(path, width, height, bit_count, palette, pixels);
}
