#include "testing/testing.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "testing/dos33_builder.h"
#include "testing/fat12_builder.h"

std::string capture_stdout(const std::function<void()>& body) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  body();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

temp_dir::temp_dir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    std::ostringstream name;
    name << "shapetools-" << stamp << "-" << counter++;
    path = base / name.str();
    if (std::filesystem::create_directory(path)) return;
  }
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; make them writable to remove.
  std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path, ignored);
}

bytes read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, const bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void write_file(const std::filesystem::path& path, const std::string& text) {
  write_file(path, bytes(text.begin(), text.end()));
}

std::string write_sparse_file(const std::filesystem::path& path, std::uintmax_t size) {
  write_file(path, bytes{});
  std::filesystem::resize_file(path, size);
  return path.string();
}

std::set<std::string> names_in(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    names.insert(entry.path().lexically_relative(folder).generic_string());
  }
  return names;
}

// Quotes one argument for the shell that std::system uses.
static std::string shell_quote(const std::string& text) {
#ifdef _WIN32
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
#else
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
#endif
}

static std::string environment_or(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

// run_program with `prefix` run by the shell just before the program, and
// standard input and output through pipes where asked.
static program_result run_program_after(const std::string& prefix, const std::string& name,
                                        const std::vector<std::string>& args,
                                        const std::filesystem::path& folder,
                                        const std::string& input, bool input_pipe = false,
                                        bool output_pipe = false) {
  const std::filesystem::path program_dir =
      environment_or("SHAPETOOLS_PROGRAM_DIR", SHAPETOOLS_PROGRAM_DIR);
  const std::string runner = environment_or("SHAPETOOLS_PROGRAM_RUNNER", "");
  const std::string suffix = environment_or("SHAPETOOLS_PROGRAM_SUFFIX", SHAPETOOLS_EXE_SUFFIX);
  const std::filesystem::path program = program_dir / (name + suffix);

  // Standard input and output go through files beside the working folder,
  // so that the program sees only what the test put there.
  static std::atomic<unsigned> counter{0};
  const auto io_base = folder.parent_path() / (folder.filename().string() + ".io" +
                                               std::to_string(counter++));
  const auto in_path = std::filesystem::path(io_base.string() + ".in");
  const auto out_path = std::filesystem::path(io_base.string() + ".out");
  const auto status_path = std::filesystem::path(io_base.string() + ".status");
  write_file(in_path, input);

  std::string run = runner.empty() ? "" : runner + " ";
  run += shell_quote(program.string());
  for (const std::string& arg : args) run += " " + shell_quote(arg);
  run = input_pipe ? "cat " + shell_quote(in_path.string()) + " | " + run
                   : run + " < " + shell_quote(in_path.string());
  // Through a pipe the shell gives the status of the last command: the
  // program's own goes through a file.
  if (output_pipe) run = "{ " + run + "; echo $? > " + shell_quote(status_path.string()) + "; } | cat";
  const std::string command = "cd " + shell_quote(folder.string()) + " && " + prefix + run + " > " +
                              shell_quote(out_path.string());

  program_result result;
  const int raw = std::system(command.c_str());
#ifdef _WIN32
  result.status = raw;
#else
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  if (output_pipe) {
    const bytes status = read_file(status_path);
    result.status = status.empty() ? -1 : std::atoi(std::string(status.begin(), status.end()).c_str());
  }
  // Windows programs print their line ends as CR LF; the tests compare LF.
  // What other programs print is kept byte for byte.
#ifdef _WIN32
  const bool windows_program = true;
#else
  const bool windows_program = !runner.empty();
#endif
  for (std::uint8_t c : read_file(out_path)) {
    if (windows_program && c == '\n' && !result.output.empty() && result.output.back() == '\r') {
      result.output.back() = '\n';
    } else {
      result.output += static_cast<char>(c);
    }
  }
  std::error_code ignored;
  std::filesystem::remove(in_path, ignored);
  std::filesystem::remove(out_path, ignored);
  std::filesystem::remove(status_path, ignored);
  return result;
}

void PrintTo(const program_result& result, std::ostream* out) {
  *out << "status " << result.status << ", output " << ::testing::PrintToString(result.output);
}

void expect_runs(const std::filesystem::path& folder, std::span<const run_case> cases,
                 const std::string& input) {
  for (const run_case& c : cases) {
    SCOPED_TRACE(c.program + " " + ::testing::PrintToString(c.args));
    EXPECT_EQ(run_program(c.program, c.args, folder, input), (program_result{c.status, c.output}));
  }
}

bool programs_run_through_runner() {
  return !environment_or("SHAPETOOLS_PROGRAM_RUNNER", "").empty();
}

program_result run_program(const std::string& name, const std::vector<std::string>& args,
                           const std::filesystem::path& folder, const std::string& input) {
  return run_program_after("", name, args, folder, input);
}

std::optional<program_result> run_program_with(const run_options& options, const std::string& name,
                                               const std::vector<std::string>& args,
                                               const std::filesystem::path& folder,
                                               const std::string& input) {
#if defined(_WIN32)
  return std::nullopt;
#else
  if (programs_run_through_runner()) return std::nullopt;
  std::string prefix;
  if (options.memory_limit > 0) {
#ifdef SHAPETOOLS_SANITIZE
    return std::nullopt;
#endif
    // The shell counts the limit in kilobytes.
    prefix = "ulimit -v " + std::to_string(options.memory_limit / 1024) + " && ";
  }
  if (options.file_limit > 0) {
    // The shell counts the limit in blocks of 512 bytes.
    prefix += "ulimit -f " + std::to_string(options.file_limit / 512) + " && ";
  }
  return run_program_after(prefix, name, args, folder, input, options.input_through_pipe,
                           options.output_through_pipe);
#endif
}

loop_device::loop_device(const std::filesystem::path& file) {
#ifdef _WIN32
  why_not = "no loop devices on Windows";
#else
  if (::geteuid() != 0) {
    why_not = "only root may attach a loop device";
    return;
  }
  const std::string command = "losetup --find --show " + shell_quote(file.string()) + " 2>/dev/null";
  std::unique_ptr<FILE, decltype(&::pclose)> pipe(::popen(command.c_str(), "r"), &::pclose);
  std::array<char, 256> line{};
  if (pipe && std::fgets(line.data(), static_cast<int>(line.size()), pipe.get()) != nullptr) {
    path = line.data();
    while (!path.empty() && path.back() == '\n') path.pop_back();
  }
  if (path.empty()) why_not = "losetup could not attach a loop device here";
#endif
}

loop_device::~loop_device() {
#ifndef _WIN32
  if (!path.empty() && std::system(("losetup -d " + shell_quote(path)).c_str()) != 0) {
    ADD_FAILURE() << "cannot detach " << path;
  }
#endif
}

bytes bitmap_file_bytes(std::uint32_t width, std::uint32_t height, std::uint16_t bit_count,
                        std::span<const std::uint8_t> palette, const bytes& canvas) {
  bitmap_header header;
  EXPECT_EQ(init_bitmap_header(header, width, height, bit_count), 0);
  bytes file;
  EXPECT_EQ(encode_bitmap(header, palette.empty() ? nullptr : palette.data(), canvas, file), 0);
  return file;
}

bitmap_image load_bitmap(const std::filesystem::path& path) {
  bitmap_image image;
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(
      std::fopen(path.string().c_str(), "rb"), &std::fclose);
  EXPECT_TRUE(file) << path;
  if (file) {
    EXPECT_EQ(read_bitmap(file.get(), image.header, &image.palette, &image.canvas, false), 0)
        << path;
  }
  return image;
}

void resave_bitmap(const std::filesystem::path& path, std::uint16_t bit_count,
                   std::uint32_t height) {
  const bitmap_image in = load_bitmap(path);
  const std::size_t pixels = std::size_t{in.header.width} * height;
  ASSERT_LE(pixels, in.canvas.size());
  bytes palette;
  bytes canvas;
  if (bit_count == 8) {
    palette.assign(1024, 0x40);
    for (std::size_t i = 0; i < in.palette.size(); ++i) {
      palette[1020 - i / 4 * 4 + i % 4] = in.palette[i];
    }
    for (std::size_t i = 0; i < pixels; ++i) canvas.push_back(static_cast<std::uint8_t>(255 - in.canvas[i]));
  } else {
    ASSERT_EQ(bit_count, 24);
    for (std::size_t i = 0; i < pixels; ++i) {
      const auto colour = in.palette.begin() + 4 * in.canvas[i];
      canvas.insert(canvas.end(), colour, colour + 3);
    }
  }
  write_file(path, bitmap_file_bytes(in.header.width, height, bit_count, palette, canvas));
}

bytes pattern_bytes(std::size_t count, std::uint32_t seed) {
  bytes data(count);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& b : data) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return data;
}

void write_extractor_inputs(const std::filesystem::path& folder) {
  write_file(folder / "SHAPES.EGA", pattern_bytes(32768, 1));
  dos33_image apple;
  for (const char last : {'0', '1'}) {
    const bytes shapes = pattern_bytes(4096, static_cast<std::uint32_t>(last));
    apple.add_file(std::string("S\x01HP", 4) + last, 0x04, dos33_image::with_length_header(0x04, shapes));
  }
  write_file(folder / "KVboot.dsk", apple.as_dos_order());
  const auto volume = [](const std::string& name, std::size_t size, std::uint32_t seed) {
    return fat12_volume::with_file(name, pattern_bytes(size, seed));
  };
  write_file(folder / "KV_Mirath.fdi", volume("OCSHAPE PAT", 108160, 4).as_fdi());
  write_file(folder / "KV_Thalwynd.fdi", volume("SWSHAPE PAT", 62464, 5).as_fdi());
  write_file(folder / "kv-mirath.xdf", volume("SHAPE   PAT", 212544, 6).as_xdf());
}
