#include "tool/tool.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "testing/testing.h"

namespace {

constexpr std::array<const char*, 2> usage = {"usage: demo [options] A [B]\n", "  --help\n"};

struct scan {
  int result = 0;
  std::string output;
  std::string disk = "default.img";
  int flags = 0;
  std::vector<std::string> positionals;
};

scan run_scan(std::vector<std::string> args) {
  scan s;
  const std::array<command_option, 2> options = {{
      {"--disk", true, "no disk image\n", [&](const std::string& v) { s.disk = v; }},
      {"--flag", false, nullptr, [&](const std::string&) { ++s.flags; }},
  }};
  args.insert(args.begin(), "bin/demo.exe");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  s.output = capture_stdout([&] {
    s.result = scan_arguments(static_cast<int>(argv.size()), argv.data(), options, 2, usage,
                              s.positionals);
  });
  return s;
}

TEST(tool_scan, options_values_and_positionals) {
  scan s = run_scan({"a", "--disk", "-x.img", "--flag", "", "--disk", "last.img", "--flag"});
  EXPECT_EQ(s.result, 0);
  EXPECT_EQ(s.output, "");
  EXPECT_EQ(s.disk, "last.img");  // a repeated option keeps its last value
  EXPECT_EQ(s.flags, 2);
  EXPECT_EQ(s.positionals, (std::vector<std::string>{"a", ""}));

  // An option's value is the next argument whatever it looks like.
  s = run_scan({"--disk", "--help"});
  EXPECT_EQ(s.result, 0);
  EXPECT_EQ(s.disk, "--help");
}

TEST(tool_scan, first_faulty_argument_ends_the_scan) {
  struct failure {
    std::vector<std::string> args;
    std::string output;
  };
  const failure cases[] = {
      {{"a", "--help", "--bogus"}, "usage: demo [options] A [B]\n  --help\n"},
      {{"-", "--help"}, "unknown option '-'\n"},
      {{"--Flag"}, "unknown option '--Flag'\n"},
      {{"a", "b", "c", "--help"}, "unneeded parameter 'c'\n"},
      {{"a", "--disk"}, "no disk image\n"},
  };
  for (const failure& f : cases) {
    const scan s = run_scan(f.args);
    EXPECT_EQ(s.result, -1);
    EXPECT_EQ(s.output, f.output);
  }
}

TEST(tool_scan, version_ends_the_scan_with_status_0) {
  struct row {
    std::vector<std::string> args;
    int result;
    std::string output;
  };
  const row rows[] = {
      // The name is the usage line's, not argv[0] ("bin/demo.exe").
      {{"a", "--version", "--bogus"}, 1, "demo " SHAPETOOLS_VERSION "\n"},
      {{"a", "b", "c", "--version"}, -1, "unneeded parameter 'c'\n"},
      {{"--disk", "--version"}, 0, ""},  // taken as the value
  };
  for (const row& r : rows) {
    const scan s = run_scan(r.args);
    EXPECT_EQ(s.result, r.result);
    EXPECT_EQ(s.output, r.output);
  }
  EXPECT_EQ(run_scan({"--disk", "--version"}).disk, "--version");
}

// Feeds `text` to standard input for the rest of this process.
void set_input(const temp_dir& dir, const std::string& text) {
  write_file(dir / "input", text);
  ASSERT_NE(std::freopen((dir / "input").string().c_str(), "r", stdin), nullptr);
}

TEST(tool_prompt, answers_and_leftovers) {
  temp_dir dir;
  set_input(dir, " 7\n\nmaybe\nYes\nn");
  int answer = -1;
  EXPECT_EQ(capture_stdout([&] { answer = ask_yes_no("go ?"); }), "go ? (Y or N): ");
  EXPECT_EQ(answer, 1);  // blanks, digits, empty lines, m and a skipped
  capture_stdout([&] { answer = ask_yes_no("again ?"); });
  EXPECT_EQ(answer, 1);  // the rest of "maybe", the newline, then Y
  capture_stdout([&] { answer = ask_yes_no("third ?"); });
  EXPECT_EQ(answer, 0);  // "es\n" skipped, then n
  std::string output = capture_stdout([&] { answer = ask_yes_no("last ?"); });
  EXPECT_EQ(answer, 0);
  EXPECT_EQ(output, "last ? (Y or N): \n");  // end of input refuses
}

TEST(tool_prompt, overwrite_guard) {
  temp_dir dir;
  const std::string free_path = (dir / "free.bmp").string();
  EXPECT_EQ(capture_stdout([&] { EXPECT_TRUE(confirm_overwrite(free_path)); }), "");

  const std::string taken = (dir / "taken.bmp").string();
  write_file(taken, std::string("keep"));
  set_input(dir, "n\n");
  int result = 0;
  const std::string output = capture_stdout(
      [&] { result = write_bitmap_file(taken, 2, 2, 1, {}, bytes(4)); });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(output, "already exists '" + taken + "'\noverwrite ? (Y or N): ");
  EXPECT_EQ(read_file(taken), bytes({'k', 'e', 'e', 'p'}));

  // A folder counts as existing; after a yes the open fails.
  set_input(dir, "y\n");
  const std::string folder = (dir / "sub").string();
  std::filesystem::create_directory(folder);
  EXPECT_EQ(capture_stdout([&] { result = write_bitmap_file(folder, 2, 2, 1, {}, bytes(4)); }),
            "already exists '" + folder + "'\noverwrite ? (Y or N): open error '" + folder + "'\n");
  EXPECT_EQ(result, -1);
}

TEST(tool_prompt, write_bitmap_file_writes_and_reports_failures) {
  temp_dir dir;
  const std::string path = (dir / "mask.bmp").string();
  const std::array<std::uint8_t, 8> palette = {0, 0, 0, 0, 255, 255, 255, 255};
  ASSERT_EQ(write_bitmap_file(path, 8, 1, 1, palette, bytes{1, 0, 0, 0, 0, 0, 0, 1}), 0);
  const bytes file = read_file(path);
  ASSERT_EQ(file.size(), 66u);
  EXPECT_EQ(bytes(file.begin() + 54, file.begin() + 62), bytes(palette.begin(), palette.end()));
  EXPECT_EQ(file[62], 0x81);

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  set_input(dir, "y\n");
  int result = 0;
  const std::string output = capture_stdout(
      [&] { result = write_bitmap_file("/dev/full", 256, 256, 1, palette, bytes(65536)); });
  EXPECT_EQ(result, -1);
  EXPECT_NE(output.find("write error '/dev/full'\n"), std::string::npos);
}

}  // namespace
