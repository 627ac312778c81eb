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
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path source_dir = SHAPETOOLS_SOURCE_DIR;

// The sources of each program: its own flow, the files of its folder that
// every program there shares, and whole library folders.
struct program_sources {
  std::string program;
  std::vector<std::string> sources;  // files, or folders (every .cpp but the tests)
};

// clang-format off
const std::vector<program_sources> programs = {
    {"egatiles",      {"ega/egatiles.cpp", "tool", "bitmap", "file"}},
    {"a2tiles",       {"apple2", "ega/ega_tables.cpp", "tool", "bitmap", "file", "disk"}},
    {"pc98tiles",     {"pc98/pc98tiles.cpp", "pc98/pc98_tiles.cpp", "tool", "fat12", "bitmap", "file", "disk"}},
    {"pc98tilepatch", {"pc98/pc98tilepatch.cpp", "pc98/pc98_tiles.cpp", "tool", "fat12", "bitmap", "file", "disk"}},
    {"x68ktiles",     {"x68k/x68ktiles.cpp", "x68k/x68k_tile.cpp", "pc98/pc98_tiles.cpp", "tool", "fat12", "bitmap", "file", "disk"}},
    {"x68ktilepatch", {"x68k/x68ktilepatch.cpp", "x68k/x68k_tile.cpp", "pc98/pc98_tiles.cpp", "tool", "fat12", "bitmap", "file", "disk"}},
};

// Messages in those sources that a program cannot print, and why: `programs`
// lists the program names, "*" standing for all six.
struct unprintable {
  std::string programs;
  std::string message;
  std::string reason;
};
const std::string extractors = "egatiles a2tiles pc98tiles x68ktiles";
const std::string patch_tools = "pc98tilepatch x68ktilepatch";
const std::string fat12_extractors = "pc98tiles x68ktiles";
const std::string bmp_reader_lines[] = {
    "error: check_bitmap_header() - not supported header type - support only Windows V3\n",
    "error: check_bitmap_header() - not support compression\n",
    "error: check_bitmap_header() - unknown bit count\n",
    "error: check_bitmap_header() - top-down bitmap (negative height) not supported\n",
    "error: check_bitmap_header() - bitmap size %u x %u too large\n",
    "error: check_bitmap_header() - offset size 0x%X != 0x%X\n",
    "warning: check_bitmap_header() - data length is 0 ... corrected: 0x%X\n",
    "error: check_bitmap_header() - data length 0x%X != 0x%X\n",
    "warning: check_bitmap_header() - file length 0x%X > 0x%X\n",
    "error: check_bitmap_header() - file length 0x%X < 0x%X\n",
    "error: read_bitmap() - can't read bitmap header\n",
    "error: read_bitmap() - can't read palette\n",
    "error: read_bitmap() - can't read bitmap data\n",
    "bitmap size error '%s' %d x %d\n",
    "convert_bit_count() error '%s'\n",
};
const std::vector<unprintable> unprintables = [] {
  std::vector<unprintable> list = {
      {"*", "%s", "prints the usage lines and the option texts, each checked on its own"},
      {"*", "%.*s %s\n", "the --version line, described under OPTIONS"},
      {"*", "%s (Y or N): ", "the question, described under OVERWRITING FILES"},
      {"*", "\n", "ends the question's line when no answer comes"},
      {"*", "error: write_bitmap() - can't write bitmap header\n", "no program writes a BMP to a stream"},
      {"*", "error: write_bitmap() - can't write palette\n", "no program writes a BMP to a stream"},
      {"*", "error: write_bitmap() - can't write bitmap data\n", "no program writes a BMP to a stream"},
      {"egatiles a2tiles", "already exists '%s'\n", "they replace an earlier sheet without a question"},
      {"egatiles a2tiles x68ktilepatch", "output file given twice '%s'\n", "they have one output"},
      {patch_tools + " " + fat12_extractors, "output is not a bitmap file '%s'\n",
       "they ask before they replace a file"},
      {patch_tools, "write bitmap file error '%s'\n", "they write no sheet"},
      {patch_tools, "convert error\n", "they make no mask"},
      {fat12_extractors, "write protected image '%s' ... ignored\n", "they save no image"},
      {"pc98tiles pc98tilepatch x68ktiles", "illegal filename '%s'\n",
       "their shape file names are fixed 8.3 names"},
  };
  for (const std::string& line : bmp_reader_lines) {
    list.push_back({extractors, line, "they read no sheet"});
  }
  return list;
}();
// clang-format on

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The C++ sources a program entry names.
std::vector<fs::path> source_files(const std::vector<std::string>& sources) {
  std::vector<fs::path> files;
  for (const std::string& source : sources) {
    const fs::path path = source_dir / source;
    if (!fs::is_directory(path)) {
      files.push_back(path);
      continue;
    }
    for (const auto& entry : fs::directory_iterator(path)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() == ".cpp" && !name.ends_with("_test.cpp") &&
          !name.ends_with("_main.cpp")) {
        files.push_back(entry.path());
      }
    }
  }
  return files;
}

// A C string literal's text with its escapes (\n, \", \\, \t) resolved.
std::string unescape(const std::string& literal) {
  std::string text;
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (literal[i] != '\\' || i + 1 == literal.size()) {
      text += literal[i];
      continue;
    }
    const char c = literal[++i];
    text += c == 'n' ? '\n' : c == 't' ? '\t' : c;
  }
  return text;
}

// The messages of one source file: the format of every printf call and the
// text an option prints when its value is missing.
std::set<std::string> messages_of(const fs::path& file) {
  static const std::regex printf_call(R"re((?:^|[^A-Za-z_])printf\(\s*"((?:[^"\\]|\\.)*)")re");
  static const std::regex missing_value(R"re(\{\s*"--[a-z0-9-]+",\s*true,\s*"((?:[^"\\]|\\.)*)")re");
  const std::string text = read_text(file);
  std::set<std::string> messages;
  for (const std::regex* pattern : {&printf_call, &missing_value}) {
    for (std::sregex_iterator it(text.begin(), text.end(), *pattern), end; it != end; ++it) {
      messages.insert(unescape((*it)[1].str()));
    }
  }
  return messages;
}

// The text a man(7) line shows: escapes resolved, font changes dropped, the
// arguments of .B and .I joined with blanks, of .BI, .IR and the other
// alternating macros without; nothing for other requests.
std::string shown_text(std::string line) {
  static const std::vector<std::pair<std::string, std::string>> escapes = {
      {"\\(aq", "'"}, {"\\(lq", "\""}, {"\\(rq", "\""}, {"\\(mu", "x"}, {"\\-", "-"},
      {"\\%", ""},    {"\\&", ""},     {"\\fB", ""},    {"\\fI", ""},   {"\\fR", ""},
      {"\\fP", ""},   {"\\e", "\\"}};
  const bool request = line.starts_with(".");
  std::string macro;
  if (request) {
    const std::size_t blank = line.find(' ');
    macro = line.substr(1, blank == std::string::npos ? std::string::npos : blank - 1);
    line = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (macro.empty() || macro.find_first_not_of("BIR") != std::string::npos) return "";
  }
  // Arguments: words, or quoted texts that keep their blanks.
  std::vector<std::string> words;
  if (request) {
    std::string word;
    bool quoted = false;
    bool in_word = false;
    for (const char c : line) {
      if (c == '"') {
        quoted = !quoted;
        in_word = true;
      } else if (c == ' ' && !quoted) {
        if (in_word) words.push_back(word);
        word.clear();
        in_word = false;
      } else {
        word += c;
        in_word = true;
      }
    }
    if (in_word) words.push_back(word);
  } else {
    words.push_back(line);
  }
  std::string shown;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0 && (macro == "B" || macro == "I")) shown += ' ';
    shown += words[i];
  }
  for (const auto& [escape, text] : escapes) {
    for (std::size_t at = shown.find(escape); at != std::string::npos;
         at = shown.find(escape, at + text.size())) {
      shown.replace(at, escape.size(), text);
    }
  }
  return shown;
}

// The tags (the line after each .TP) of the page's DIAGNOSTICS section.
std::vector<std::string> diagnostics_tags(const fs::path& page) {
  std::istringstream lines(read_text(page));
  std::vector<std::string> tags;
  bool in_section = false;
  bool tag_next = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(".SH")) {
      in_section = line.find("DIAGNOSTICS") != std::string::npos;
    } else if (in_section && line.starts_with(".TP")) {
      tag_next = true;
    } else if (tag_next) {
      tags.push_back(shown_text(line));
      tag_next = false;
    }
  }
  return tags;
}

// A pattern for the whole line a message prints: its text as it stands,
// each conversion (%s, %d, %08X, %.*s, ...) any text, no final line end.
std::regex message_pattern(std::string message) {
  while (!message.empty() && message.back() == '\n') message.pop_back();
  static const std::regex conversion(R"(%[-+ #0]*(?:\*|[0-9]+)?(?:\.(?:\*|[0-9]+))?[hlzjt]*[diouxXcsp])");
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  std::string pattern;
  std::sregex_iterator it(message.begin(), message.end(), conversion);
  std::size_t done = 0;
  for (const std::sregex_iterator end; it != end; ++it) {
    const std::string literal = message.substr(done, static_cast<std::size_t>(it->position()) - done);
    pattern += std::regex_replace(literal, special, R"(\$&)") + ".+";
    done = static_cast<std::size_t>(it->position() + it->length());
  }
  pattern += std::regex_replace(message.substr(done), special, R"(\$&)");
  return std::regex("^" + pattern + "$");
}

bool unprintable_by(const std::string& program, const std::string& message) {
  return std::any_of(unprintables.begin(), unprintables.end(), [&](const unprintable& u) {
    std::istringstream names(u.programs);
    const bool named = std::any_of(std::istream_iterator<std::string>(names),
                                   std::istream_iterator<std::string>(),
                                   [&](const std::string& name) { return name == program; });
    return (u.programs == "*" || named) && u.message == message;
  });
}

TEST(man_pages, list_every_message_under_diagnostics) {
  for (const program_sources& entry : programs) {
    const fs::path page = source_dir / "man" / (entry.program + ".1");
    const std::vector<std::string> tags = diagnostics_tags(page);
    ASSERT_FALSE(tags.empty()) << page << " has no DIAGNOSTICS tags";
    std::set<std::string> messages;
    for (const fs::path& file : source_files(entry.sources)) {
      ASSERT_TRUE(fs::exists(file)) << file;
      messages.merge(messages_of(file));
    }
    for (const std::string& message : messages) {
      if (unprintable_by(entry.program, message)) continue;
      const std::regex pattern = message_pattern(message);
      const bool listed = std::any_of(tags.begin(), tags.end(), [&](const std::string& tag) {
        return std::regex_match(tag, pattern);
      });
      EXPECT_TRUE(listed) << entry.program << " can print \"" << std::regex_replace(message, std::regex("\n"), "\\n")
                          << "\", which man/" << entry.program << ".1 does not list under DIAGNOSTICS";
    }
  }
}

}  // namespace
