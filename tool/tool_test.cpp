#include "tool/tool.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <tuple>

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

// Three questions in a row on one input: what each answers, and everything
// printed.
TEST(tool_prompt, each_question_reads_its_own_line) {
  const std::string q = "q (Y or N): ";
  const std::tuple<std::string, std::vector<int>, std::string> cases[] = {
      {"y\nn\nY\n", {1, 0, 1}, q + q + q},
      {" \tyes\n  No\nyy\n", {1, 0, 1}, q + q + q},
      // No line decides until the n; the input then ends for the other two.
      {"maybe\nsorry, no\nstay\n\n3\ntry again\nn\n", {0, 0, 0},
       q + q + q + q + q + q + q + q + "\n" + q + "\n"},
      {"y", {1, 0, 0}, q + q + "\n" + q + "\n"},  // no newline at the end
      {"", {0, 0, 0}, q + "\n" + q + "\n" + q + "\n"},
  };
  for (const auto& [input, answers, printed] : cases) {
    temp_dir dir;
    set_input(dir, input);
    std::vector<int> got;
    const std::string output = capture_stdout([&] {
      for (int i = 0; i < 3; ++i) got.push_back(ask_yes_no("q"));
    });
    EXPECT_EQ(got, answers) << input;
    EXPECT_EQ(output, printed) << input;
  }
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

#ifndef _WIN32
TEST(tool_outputs, an_output_never_names_an_input_or_another_output) {
  temp_dir dir;
  const auto at = [&dir](const std::string& name) { return (dir / name).string(); };
  write_file(dir / "in.bin", std::string("input"));
  write_file(dir / "sheet.bmp", std::string("sheet"));
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_hard_link(dir / "in.bin", dir / "hard.bin");
  std::filesystem::create_symlink("in.bin", dir / "link.bin");
  std::filesystem::create_symlink("new.bin", dir / "dangling.bin");
  const std::string is_input = "output is input file '";
  const std::string twice = "output file given twice '";
  const struct {
    std::vector<std::string> inputs;
    std::vector<output_file> outputs;
    std::string output;
  } cases[] = {
      {{at("in.bin")}, {{at("new.bin")}, {at("mask.bin")}}, ""},
      {{at("in.bin")}, {{at("in.bin")}}, is_input + at("in.bin") + "'\n"},
      {{at("in.bin")}, {{at("sub/../in.bin")}}, is_input + at("sub/../in.bin") + "'\n"},
      {{at("in.bin")}, {{at("hard.bin")}}, is_input + at("hard.bin") + "'\n"},
      {{at("in.bin")}, {{at("link.bin")}}, is_input + at("link.bin") + "'\n"},
      {{at("missing.bin")}, {{at("sub/../missing.bin")}}, is_input + at("sub/../missing.bin") + "'\n"},
      {{}, {{at("new.bin")}, {at("./new.bin")}}, twice + at("./new.bin") + "'\n"},
      {{}, {{at("new.bin")}, {at("dangling.bin")}}, twice + at("dangling.bin") + "'\n"},
      // A patch tool may save over the image it patches, and only that one.
      {{at("sheet.bmp"), at("in.bin")}, {{at("in.bin"), 1}}, ""},
      {{at("sheet.bmp"), at("in.bin")}, {{at("sheet.bmp"), 1}}, is_input + at("sheet.bmp") + "'\n"},
      // Devices are not destroyed by a write; an empty name names nothing.
      {{"/dev/null"}, {{"/dev/null"}, {"/dev/null"}}, ""},
      {{""}, {{""}, {""}}, ""},
  };
  for (const auto& c : cases) {
    int result = 0;
    const std::string output =
        capture_stdout([&] { result = check_output_files(c.inputs, c.outputs); });
    EXPECT_EQ(output, c.output);
    EXPECT_EQ(result, c.output.empty() ? 0 : -1) << c.output;
  }
}
#endif

}  // namespace
