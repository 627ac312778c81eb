// Saving a whole file so that a failure never leaves a damaged one behind,
// and the few questions about files that the standard library cannot ask.
//
// A save writes the complete new contents to a fresh file beside the target
// and renames it over the target only once it is complete and flushed to
// stable storage, as careful editors do. Links, special files and files
// that cannot be replaced by another are written straight into instead.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

// The file that a save to `path` writes: symbolic links at `path` followed
// through any chain, so a dangling link gives the missing file it names.
// `path` itself when it is no link or a link cannot be read.
std::filesystem::path link_target(const std::filesystem::path& path);

// Replaces the contents of the file at `path` with `data`, creating it when
// missing:
// - a symbolic link is followed to the file it names and stays a link;
// - an existing target that is not a regular file (a device, a FIFO) and a
//   regular one with several hard links or in a folder where no new file
//   can be created are written in place, every write and the close checked;
// - otherwise the data goes to a new file in the target's folder (created
//   exclusively, under a short name), which is given the target's
//   permission bits, and on POSIX systems its owner, group and extended
//   attributes (ACLs among them, on Linux), flushed and renamed over it.
//   Where (POSIX) the new file cannot get the owner, the group or the
//   attributes, or the rename is refused (a sticky folder, a file mounted
//   over another), the target is written in place instead.
// On any failure the new file is removed and the target keeps its bytes, and
// a signal that ends the run (an interrupt, a hang-up, SIGQUIT, a CPU time
// limit...) during the save leaves no new file behind.
// Returns 0, or -1 after "open error '%s'\n" (cannot be created or opened,
// a directory, an empty name) or "write error '%s'\n" (a failed write,
// flush, close or rename, or no memory), naming `path` as given.
int replace_file(const std::string& path, std::span<const std::uint8_t> data);

// Opens an existing file for reading ("rb"). A folder is not a file to read:
// null for it as for a file that cannot be opened.
std::FILE* open_input_file(const std::string& path);

// The device number that `path` names when it is a block device (a disk,
// links followed), found without opening the device; nothing for any other
// path, and always nothing on Windows.
std::optional<std::uint64_t> block_device_number(const std::string& path);
