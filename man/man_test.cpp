// Every message a program can print is listed under DIAGNOSTICS in the
// program's manual page: the messages are taken from the sources each
// program is built from (the format strings of printf and the texts an
// option prints when its value is missing), the page's DIAGNOSTICS tags
// from the man(7) source, and each message must match one tag whole, its
// conversions standing for any text ("fat error \(aq" NAME \(aq shows
// "fat error 'NAME'", which matches "fat error '%s'\n").
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testing/testing.h"

namespace fs = std::filesystem;

namespace {

const fs::path source_dir = SHAPETOOLS_SOURCE_DIR;

// The sources of each program, separated by blanks: its own flow, the files of its folder that
// every program there shares, and whole library folders (every .cpp but the
// tests) or, of the bitmap library, the writers alone where a program reads
// no sheet.
// clang-format off
const std::string writers = "bitmap/bitmap_write.cpp bitmap/bitmap_png.cpp bitmap/bitmap_convert.cpp";
const std::pair<std::string, std::string> programs[] = {
    {"egatiles",      "ega/egatiles.cpp tool file " + writers},
    {"a2tiles",       "apple2 ega/ega_tables.cpp tool file disk " + writers},
    {"pc98tiles",     "pc98/pc98tiles.cpp pc98/pc98_tiles.cpp tool fat12 file disk " + writers},
    {"pc98tilepatch", "pc98/pc98tilepatch.cpp pc98/pc98_tiles.cpp tool fat12 bitmap file disk"},
    {"x68ktiles",     "x68k/x68ktiles.cpp x68k/x68k_tile.cpp pc98/pc98_tiles.cpp tool fat12 file disk " + writers},
    {"x68ktilepatch", "x68k/x68ktilepatch.cpp x68k/x68k_tile.cpp pc98/pc98_tiles.cpp tool fat12 bitmap file disk"},
};

// Messages in those sources that a program cannot print, and why: the
// program names, "*" standing for all six.
const std::string extractors = "egatiles a2tiles pc98tiles x68ktiles";
const std::string patch_tools = "pc98tilepatch x68ktilepatch";
const struct {
  std::string programs, message, reason;
} unprintables[] = {
    {"*", "%s", "prints the usage lines and the option texts, each checked on its own"},
    {"*", "%.*s %s\n", "the --version line, described under OPTIONS"},
    {"*", "%s (Y or N): ", "the question, described under OVERWRITING FILES"},
    {"*", "\n", "ends the question's line when no answer comes"},
    {"*", "error: write_bitmap() - can't write bitmap header\n", "no program writes a BMP to a stream"},
    {"*", "error: write_bitmap() - can't write palette\n", "no program writes a BMP to a stream"},
    {"*", "error: write_bitmap() - can't write bitmap data\n", "no program writes a BMP to a stream"},
    {"egatiles a2tiles", "already exists '%s'\n", "they replace an earlier sheet without a question"},
    {"egatiles a2tiles x68ktilepatch", "output file given twice '%s'\n", "they have one output"},
    {patch_tools + " pc98tiles x68ktiles", "output is not a bitmap file '%s'\n", "they ask before they replace a file"},
    {patch_tools, "write bitmap file error '%s'\n", "they write no sheet"},
    {patch_tools, "convert error\n", "they make no mask"},
    {"pc98tiles x68ktiles", "write protected image '%s' ... ignored\n", "they save no image"},
    {"pc98tiles pc98tilepatch x68ktiles", "illegal filename '%s'\n", "their shape file names are fixed 8.3 names"},
    {extractors, "bitmap size error '%s' %d x %d\n", "they read no sheet"},
    {extractors, "convert_bit_count() error '%s'\n", "they read no sheet"},
};
// clang-format on

std::string read_text(const fs::path& path) { const bytes text = read_file(path); return {text.begin(), text.end()}; }

// The C++ sources a program entry names.
std::vector<fs::path> source_files(const std::string& sources) {
  std::vector<fs::path> files;
  std::istringstream words(sources);
  for (std::string source; words >> source;) {
    if (!fs::is_directory(source_dir / source)) { files.push_back(source_dir / source); continue; }
    for (const auto& entry : fs::directory_iterator(source_dir / source)) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".cpp") && !name.ends_with("_test.cpp") && !name.ends_with("_main.cpp")) {
        files.push_back(entry.path());
      }
    }
  }
  return files;
}

// The messages of one source file: the format of every printf call and the
// text an option prints when its value is missing, escapes (\n, \", \\,
// \t) resolved.
std::set<std::string> messages_of(const fs::path& file) {
  static const std::regex printf_call(R"re((?:^|[^A-Za-z_])printf\(\s*"((?:[^"\\]|\\.)*)")re");
  static const std::regex missing_value(R"re(\{\s*"--[a-z0-9-]+",\s*true,\s*"((?:[^"\\]|\\.)*)")re");
  const std::string text = read_text(file);
  std::set<std::string> messages;
  for (const std::regex* pattern : {&printf_call, &missing_value}) {
    for (std::sregex_iterator it(text.begin(), text.end(), *pattern), end; it != end; ++it) {
      std::string message;
      const std::string literal = (*it)[1].str();
      for (std::size_t i = 0; i < literal.size(); ++i) {
        const bool escape = literal[i] == '\\' && i + 1 < literal.size();
        const char c = escape ? literal[++i] : literal[i];
        message += !escape ? c : c == 'n' ? '\n' : c == 't' ? '\t' : c;
      }
      messages.insert(message);
    }
  }
  return messages;
}

// The tags (the line after each .TP) of the page's DIAGNOSTICS section, as
// they show: a text line as it is; of .B and .I the arguments joined with
// blanks, of .BI, .IR and the other alternating macros without (a quoted
// argument keeps its blanks); escapes resolved and font changes dropped.
std::vector<std::string> diagnostics_tags(const fs::path& page) {
  static const std::regex tag(R"(\n\.TP\n(?:\.([BIR]+) )?([^\n]*))");
  static const std::regex argument(R"re("([^"]*)"?|([^ ]+))re");
  static const std::pair<std::string, std::string> escapes[] = {
      {"\\(aq", "'"}, {"\\(lq", "\""}, {"\\(rq", "\""}, {"\\(mu", "x"}, {"\\-", "-"}, {"\\%", ""},
      {"\\&", ""},    {"\\fB", ""},    {"\\fI", ""},    {"\\fR", ""},   {"\\fP", ""}, {"\\e", "\\"}};
  const std::string text = read_text(page);
  const std::size_t begin = text.find("\n.SH DIAGNOSTICS"), end = text.find("\n.SH", begin + 1);
  if (begin == std::string::npos) return {};
  const std::string section = text.substr(begin, end == std::string::npos ? end : end - begin);
  std::vector<std::string> tags;
  for (std::sregex_iterator it(section.begin(), section.end(), tag), stop; it != stop; ++it) {
    const std::string macro = (*it)[1].str(), line = (*it)[2].str();
    std::string shown = macro.empty() ? line : "";
    for (std::sregex_iterator a(line.begin(), line.end(), argument); !macro.empty() && a != stop; ++a) {
      if (!shown.empty() && macro.size() == 1) shown += ' ';
      shown += (*a)[1].matched ? (*a)[1].str() : (*a)[2].str();
    }
    for (const auto& [escape, replacement] : escapes) {
      for (std::size_t at = shown.find(escape); at != std::string::npos; at = shown.find(escape, at + replacement.size())) {
        shown.replace(at, escape.size(), replacement);
      }
    }
    tags.push_back(shown);
  }
  return tags;
}

// A pattern for the whole line a message prints: its text as it stands,
// each conversion (%s, %d, %08X, %.*s, ...) any text, no final line end.
std::regex message_pattern(std::string message) {
  while (!message.empty() && message.back() == '\n') message.pop_back();
  static const std::regex conversion(R"(%[-+ #0]*(?:\*|[0-9]+)?(?:\.(?:\*|[0-9]+))?[hlzjt]*[diouxXcsp])");
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])"), marker("\x01");
  // Each conversion marked by a character no message holds, the rest escaped.
  const std::string marked = std::regex_replace(message, conversion, "\x01");
  return std::regex("^" + std::regex_replace(std::regex_replace(marked, special, R"(\$&)"), marker, ".+") + "$");
}

TEST(man_pages, list_every_message_under_diagnostics) {
  for (const auto& [program, sources] : programs) {
    const fs::path page = source_dir / "man" / (program + ".1");
    const std::vector<std::string> tags = diagnostics_tags(page);
    ASSERT_FALSE(tags.empty()) << page << " has no DIAGNOSTICS tags";
    std::set<std::string> messages;
    for (const fs::path& file : source_files(sources)) {
      ASSERT_TRUE(fs::exists(file)) << file;
      messages.merge(messages_of(file));
    }
    for (const std::string& message : messages) {
      const std::string name = " " + program + " ";
      const bool unprintable = std::any_of(std::begin(unprintables), std::end(unprintables), [&](const auto& u) {
        return u.message == message && (u.programs == "*" || (" " + u.programs + " ").find(name) != std::string::npos);
      });
      const std::regex pattern = message_pattern(message);
      const bool listed = std::any_of(tags.begin(), tags.end(), [&](const std::string& tag) {
        return std::regex_match(tag, pattern);
      });
      EXPECT_TRUE(unprintable || listed)
          << program << " can print \"" << std::regex_replace(message, std::regex("\n"), "\\n")
          << "\", which man/" << program << ".1 does not list under DIAGNOSTICS";
    }
  }
}

}  // namespace
