#include "tool/tool.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <tuple>

#include "testing/testing.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

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
    s.result = scan_arguments(static_cast<int>(argv.size()), argv.data(), options, 2, usage, s.positionals);
  });
  return s;
}

// The first faulty argument, "--help" or "--version" ends the scan.
TEST(tool_scan, first_faulty_argument_help_or_version_ends_the_scan) {
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"a", "--help", "--bogus"}, -1, "usage: demo [options] A [B]\n  --help\n"},
      // Values whatever they look like, empty positionals, the last value kept.
      {{"a", "--disk", "-x", "--flag", "", "--disk", "--help", "--flag"}, 0, ""},
      {{"-", "--help"}, -1, "unknown option '-'\n"}, {{"--Flag"}, -1, "unknown option '--Flag'\n"},
      {{"a", "b", "c", "--version"}, -1, "unneeded parameter 'c'\n"},
      {{"a", "--disk"}, -1, "no disk image\n"},
      // The name is the usage line's, not argv[0] ("bin/demo.exe").
      {{"a", "--version", "--bogus"}, 1, "demo " SHAPETOOLS_VERSION "\n"},
      {{"--disk", "--version"}, 0, ""},  // taken as the value
  };
  for (const auto& [args, result, output] : cases) {
    const scan s = run_scan(args);
    EXPECT_EQ(std::pair(s.result, s.output), std::pair(result, output));
  }
  const scan s = run_scan({"a", "--disk", "-x", "--flag", "", "--disk", "--help", "--flag"});
  EXPECT_EQ(std::tuple(s.disk, s.flags, s.positionals), std::tuple("--help", 2, std::vector<std::string>{"a", ""}));
}

// Three questions in a row on one input (standard input reopened on a file
// for the rest of this process): what each answers, and everything printed.
TEST(tool_prompt, each_question_reads_its_own_line) {
  const std::string q = "q (Y or N): ";
  const std::tuple<std::string, std::vector<int>, std::string> cases[] = {
      {"y\nn\nY\n", {1, 0, 1}, q + q + q}, {" \tyes\n  No\nyy\n", {1, 0, 1}, q + q + q},
      // No line decides until the n; the input then ends for the other two.
      {"maybe\nsorry, no\nstay\n\n3\ntry again\nn\n", {0, 0, 0}, q + q + q + q + q + q + q + q + "\n" + q + "\n"},
      {"y", {1, 0, 0}, q + q + "\n" + q + "\n"},  // no newline at the end
      // A NUL is no blank: it comes first on both lines, and is no answer.
      {std::string("\0y\n\0\0 \0Y\nn\n", 11), {0, 0, 0}, q + q + q + q + "\n" + q + "\n"},
      {"", {0, 0, 0}, q + "\n" + q + "\n" + q + "\n"},
  };
  for (const auto& [input, answers, printed] : cases) {
    temp_dir dir;
    write_file(dir / "input", input);
    ASSERT_NE(std::freopen((dir / "input").string().c_str(), "r", stdin), nullptr);
    std::vector<int> got;
    const std::string output = capture_stdout([&] { for (int i = 0; i < 3; ++i) got.push_back(ask_yes_no("q")); });
    EXPECT_EQ(std::pair(got, output), std::pair(answers, printed)) << input;
  }
}

#ifndef _WIN32
TEST(tool_outputs, never_name_an_input_or_each_other_and_replace_only_earlier_sheets) {
  temp_dir dir;
  const auto at = [&dir](const std::string& name) { return (dir / name).string(); };
  write_file(dir / "in.bin", std::string("input"));
  write_file(dir / "sheet.bmp", std::string("sheet"));
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_hard_link(dir / "in.bin", dir / "hard.bin");
  std::filesystem::create_symlink("in.bin", dir / "link.bin");
  std::filesystem::create_symlink("new.bin", dir / "dangling.bin");
  std::filesystem::create_directory_symlink("sub", dir / "link-to-sub");
  const std::string is_input = "output is input file '";
  const std::string twice = "output file given twice '";
  const struct {
    std::vector<std::string> inputs; std::vector<output_file> outputs; std::string output;
  } cases[] = {
      {{at("in.bin")}, {{at("new.bin")}, {at("mask.bin")}}, ""},
      {{at("in.bin")}, {{at("in.bin")}}, is_input + at("in.bin") + "'\n"},
      {{at("in.bin")}, {{at("sub/../in.bin")}}, is_input + at("sub/../in.bin") + "'\n"},
      {{at("in.bin")}, {{at("hard.bin")}}, is_input + at("hard.bin") + "'\n"},
      {{at("in.bin")}, {{at("link.bin")}}, is_input + at("link.bin") + "'\n"},
      {{at("missing.bin")}, {{at("sub/../missing.bin")}}, is_input + at("sub/../missing.bin") + "'\n"},
      {{at("sub/m.bin")}, {{at("link-to-sub/m.bin")}}, is_input + at("link-to-sub/m.bin") + "'\n"},
      {{}, {{at("new.bin")}, {at("./new.bin")}}, twice + at("./new.bin") + "'\n"},
      {{}, {{at("new.bin")}, {at("dangling.bin")}}, twice + at("dangling.bin") + "'\n"},
      // A patch tool may save over the image it patches, and only that one.
      {{at("sheet.bmp"), at("in.bin")}, {{at("in.bin"), 1}}, ""},
      {{at("sheet.bmp"), at("in.bin")}, {{at("sheet.bmp"), 1}}, is_input + at("sheet.bmp") + "'\n"},
      // Streams are not destroyed by a write; an empty name names nothing.
      {{"/dev/null"}, {{"/dev/null"}, {"/dev/null"}}, ""}, {{""}, {{""}, {""}}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(result_and_output([&] { return check_output_files(c.inputs, c.outputs); }),
              std::pair(c.output.empty() ? 0 : -1, c.output));
  }
  // An extractor that replaces its sheet without a question replaces only an
  // earlier sheet (BMP or PNG), an empty file or a stream; links followed.
  // A name that cannot be looked at (a link to itself) is left to the save.
  const std::pair<const char*, std::string> files[] = {
      {"old.bmp", "BM6"}, {"old.png", "\x89PNG\r\n\x1A\n"}, {"empty.bmp", ""}, {"B.bmp", "B"},
      {"png.bmp", "\x89PNG\r\n\x1A"}, {"game.po", "disk image"}};
  for (const auto& [name, contents] : files) write_file(dir / name, contents);
  std::filesystem::create_directory(dir / "folder");
  for (const auto& [link, file] : {std::pair("sheet-link", "old.bmp"), {"disk-link", "game.po"}, {"dangling", "new.bmp"}, {"loop", "loop"}}) {
    std::filesystem::create_symlink(file, dir / link);
  }
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const bool block_device = ::mknod((dir / "disk").c_str(), S_IFBLK | 0600, makedev(7, 250)) == 0;
  const std::pair<std::string, bool> sheet_cases[] = {
      {"new.bmp", true}, {"old.bmp", true}, {"old.png", true}, {"empty.bmp", true}, {"sheet-link", true},
      {"dangling", true}, {"loop", true}, {"folder", true}, {"fifo", true}, {"/dev/null", true}, {"B.bmp", false},
      {"png.bmp", false}, {"game.po", false}, {"disk-link", false}, {block_device ? "disk" : "game.po", false},
  };
  for (const auto& [name, passes] : sheet_cases) {
    const std::string path = name.starts_with("/") ? name : (dir / name).string();
    EXPECT_EQ(result_and_output([&] { return check_sheet_output(path); }),
              std::pair(passes ? 0 : -1, passes ? "" : "output is not a bitmap file '" + path + "'\n"));
  }
}
#endif

}  // namespace
