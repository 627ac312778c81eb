// Saving a whole file so that a failure never leaves a damaged one behind.
//
// A save writes the complete new contents to a fresh file beside the target
// and renames it over the target only once it is complete and flushed to
// stable storage, as careful editors do. Links, special files and files
// that cannot be replaced by another are written straight into instead.
#pragma once

#include <cstdint>
#include <filesystem>
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
//   exclusively, under a short name), which is flushed, given the target's
//   permission bits (owner and group where allowed) and renamed over it.
// On any failure the new file is removed and the target keeps its bytes, and
// an interrupt (SIGINT, SIGTERM) during the save leaves no new file behind.
// Returns 0, or -1 after "open error '%s'\n" (cannot be created or opened,
// a directory, an empty name) or "write error '%s'\n" (a failed write,
// flush, close or rename), naming `path` as given.
int replace_file(const std::string& path, std::span<const std::uint8_t> data);
