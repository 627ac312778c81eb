// "--version" through each of the six programs: the version line and
// status 0, scanned in order with the other arguments.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/testing.h"

namespace {

// The shared command line through each program: "--version" ends the scan
// (nothing after it is looked at, nothing read or written), an earlier
// faulty argument wins, and a positional argument past the program's last
// slot is refused.
TEST(command_line, version_and_faults_are_scanned_in_order) {
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"--version"}, ""},  // "" stands for the version line
      {{"sheet.bmp", "--version", "--bogus"}, ""}, {{"--version", "--help"}, ""},
      {{"--help", "--version"}, "usage: "},  // the start of the usage text
      {{"--bogus", "--version"}, "unknown option '--bogus'\n"},
      {{"a", "b", "c", "--version"}, "unneeded parameter 'c'\n"},
  };
  // Each program with the positional argument it refuses first.
  const std::pair<std::string, std::string> programs[] = {
      {"egatiles", "c"}, {"a2tiles", "b"}, {"pc98tiles", "c"},
      {"pc98tilepatch", "c"}, {"x68ktiles", "c"}, {"x68ktilepatch", "c"}};
  for (const auto& [program, refused] : programs) {
    for (const auto& [args, output] : rows) {
      SCOPED_TRACE(program + " " + ::testing::PrintToString(args));
      std::string expected = output.empty() ? program + " " SHAPETOOLS_VERSION "\n" : output;
      if (args.front() == "a") expected = "unneeded parameter '" + refused + "'\n";
      temp_dir dir;
      program_result result = run_program(program, args, dir.path);
      if (output == "usage: ") result.output.resize(std::min(result.output.size(), output.size()));
      EXPECT_EQ(result, (program_result{output.empty() ? 0 : 1, expected}));
      EXPECT_TRUE(std::filesystem::is_empty(dir.path));
    }
  }
}

}  // namespace
