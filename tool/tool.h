// The frame shared by the command-line programs: the argument scan, the
// check that no output destroys an input, the yes/no question on the
// console, the guard before an existing output file is replaced, and the
// tile-sheet saves of the extractors.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One option of a program's command line. A value option takes the next
// argument whatever it looks like; when there is none, `missing_value` is
// printed as it stands (it ends in "\n") and the scan fails.
struct command_option {
  std::string_view name;
  bool takes_value = false;
  const char* missing_value = nullptr;
  std::function<void(const std::string& value)> apply;
};

// Scans argv[1..] left to right. "--help" prints the usage lines and fails;
// "--version" prints the program's name (the word after "usage: " in the
// first usage line) and the suite's version, and ends the scan too; an
// option must match a name exactly; anything else beginning with "-"
// prints "unknown option '%s'\n"; other arguments fill up to
// `positional_slots` entries of `positionals` in order, and one more prints
// "unneeded parameter '%s'\n". The first faulty argument ends the scan.
// Returns 0 when the program may go on, -1 when it must end with status 1,
// 1 when it must end with status 0 (after "--version").
int scan_arguments(int argc, char** argv, std::span<const command_option> options,
                   int positional_slots, std::span<const char* const> usage,
                   std::vector<std::string>& positionals);

// Prints each usage line as it stands.
void print_usage(std::span<const char* const> usage);

// Prints "<question> (Y or N): " and reads standard input a line at a time:
// a line whose first character other than blanks and tabs is y or Y is
// yes (1), n or N is no (0); after any other line (one starting with a NUL
// too) the question is printed again. Each call reads its own line. 0 also
// when the input ends first, after a newline so the next message starts on
// its own line.
int ask_yes_no(const char* question);

// True when `path` does not exist, is a stream (a character device such as
// /dev/stdout or a terminal, or a FIFO: written into, not replaced), or it
// exists (a directory and a block device count) and the user answers yes to
// "overwrite ?" after "already exists '%s'\n".
bool confirm_overwrite(const std::string& path);

// Sizes `buffer` to `size` zero bytes. False after "memory exhaust!\n"
// when there is no memory for it.
bool make_buffer(std::vector<std::uint8_t>& buffer, std::size_t size);

// Reads an edited tile sheet: a BMP exactly `width` pixels wide and
// `min_height` to `max_height` high (a top-down file's negative height
// fails too), converted by nearest colour to `bit_count` with `palette`
// into the top rows of `canvas`. Returns the height, or -1 after
// "open error '%s'\n", "read error '%s'\n", "bitmap size error '%s' %d x %d\n"
// or "convert_bit_count() error '%s'\n". A regular file that begins with
// the PNG signature, whatever its name, is read as a PNG instead, its size
// checked from its header before any pixel is decoded; it fails with the
// same lines or with "png error '%s': %s\n" (a pipe is always read as a BMP).
int read_sheet_bitmap(const std::string& path, std::uint32_t width, std::uint32_t min_height,
                      std::uint32_t max_height, int bit_count,
                      std::span<const std::uint8_t> palette, std::span<std::uint8_t> canvas);

// An output file of a run: its path as given, and the index among the
// run's inputs of the one input it may replace (a patch tool may save its
// image over the image it patches), or -1.
struct output_file {
  std::string path;
  int may_replace = -1;
};

// Refuses a run whose outputs would destroy its own files: an output that
// is the same file as an input prints "output is input file '%s'\n", one
// that is the same file as an earlier output "output file given twice
// '%s'\n" (the later output as given). Files are the same when both exist
// and are one file (through links of either kind; two nodes of one block
// device are one disk), or else when their normalised absolute paths, links
// followed, are equal. Character devices, pipes and sockets are never
// destroyed by a write and are not compared. 0 or -1.
int check_output_files(std::span<const std::string> inputs, std::span<const output_file> outputs);

// The guard of the extractors that replace their sheet without a question:
// an existing output (links followed) may be replaced only when it is a
// sheet they could have written, a regular file starting with the BMP
// signature "BM" or the PNG signature, or an empty one. Any other existing
// file (a disk image, a block device, a file that cannot be read to tell)
// prints "output is not a bitmap file '%s'\n". Missing files, folders
// (which the save refuses), character devices and FIFOs pass. 0 or -1.
int check_sheet_output(const std::string& path);

// Refuses sheet and mask names this build cannot write: a name ending in
// ".png" (any letter case) in a build without PNG support prints
// "png error '%s': this build of shapetools has no PNG support\n". 0 or -1.
int check_png_support(std::span<const output_file> outputs);

// Writes a whole BMP to `path` by replace_file, replacing any file there;
// a name ending in ".png" (any letter case) gets a PNG of the same palette
// and pixels instead (a 1- or 4-bit palette image). Returns 0, or -1 after
// "open error '%s'\n", "write error '%s'\n" or, in a build without PNG
// support, the line of check_png_support.
int save_bitmap_file(const std::string& path, std::uint32_t width, std::uint32_t height,
                     std::uint16_t bit_count, std::span<const std::uint8_t> palette,
                     std::span<const std::uint8_t> pixels);

// Writes a whole BMP to `path` as save_bitmap_file does, under the
// overwrite guard. Returns 0, or -1 after a refusal or the save's message.
int write_bitmap_file(const std::string& path, std::uint32_t width, std::uint32_t height,
                      std::uint16_t bit_count, std::span<const std::uint8_t> palette,
                      std::span<const std::uint8_t> pixels);
