// "--version" through each of the six programs: the version line and
// status 0, scanned in order with the other arguments.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/testing.h"

namespace {

TEST(command_line, version_is_scanned_like_the_other_options) {
  struct row {
    std::vector<std::string> args;
    int status;
    std::string output;  // "" stands for the version line, "usage" for the usage text
  };
  const row rows[] = {
      {{"--version"}, 0, ""},
      // It ends the scan: nothing after it is looked at, nothing is read or written.
      {{"sheet.bmp", "--version", "--bogus"}, 0, ""},
      {{"--version", "--help"}, 0, ""},
      {{"--help", "--version"}, 1, "usage"},
      // An earlier faulty argument wins.
      {{"--bogus", "--version"}, 1, "unknown option '--bogus'\n"},
  };
  for (const std::string program :
       {"egatiles", "a2tiles", "pc98tiles", "pc98tilepatch", "x68ktiles", "x68ktilepatch"}) {
    for (const row& r : rows) {
      SCOPED_TRACE(program + " " + ::testing::PrintToString(r.args));
      const std::string expected =
          r.output.empty() ? program + " " SHAPETOOLS_VERSION "\n" : r.output;
      temp_dir dir;
      const program_result result = run_program(program, r.args, dir.path);
      EXPECT_EQ(result.status, r.status);
      if (expected == "usage") {
        EXPECT_EQ(result.output.rfind("usage: " + program + " [options] ", 0), 0u)
            << result.output;
      } else {
        EXPECT_EQ(result.output, expected);
      }
      EXPECT_TRUE(std::filesystem::is_empty(dir.path));
    }
  }
}

}  // namespace
