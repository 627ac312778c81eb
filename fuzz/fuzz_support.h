// Support for the fuzz targets: the fixed synthetic images they lay their
// inputs over and their seed inputs, all made with the image builders, and
// scratch files for the targets that run whole program flows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/fat12_builder.h"
#include "testing/testing.h"

// fat12_fuzz: its input is the system area of a volume (boot sector, FATs,
// root directory), then one byte whose bit 0 asks for the FDI form.
inline constexpr std::size_t fat12_system_bytes = 11264;

// The volume that fat12_fuzz's input is laid over: 400 sectors whose data
// area holds shape.pat (fragmented), ocshape.pat and swshape.pat.
fat12_volume fat12_fuzz_volume();

// apple2_fuzz: its input is the sectors of `overlay` (the VTOC and catalog
// track, then the first T/S list sector of each shape file) in that order,
// then a byte whose bit 0 asks for the ProDOS-order image and bits 1-2 the
// sector order to load with (0 detect, 1 DOS 3.3, 2 ProDOS), then a byte of
// a2tiles options: bits 0-5 --16, --2, --half-shift, --dither, --dither2,
// --ega, and bits 6-7 --mono, --no-white, --blur or --no-blur.
struct apple_fuzz_image {
  std::array<bytes, 2> images;                // DOS 3.3 order, ProDOS order
  std::vector<std::pair<int, int>> overlay;  // (track, sector)
  bytes overlay_bytes;                        // the image's own overlay sectors
};
apple_fuzz_image apple2_fuzz_image();

// disk_fuzz: its input is one byte saying what the rest is, then that.
// Bits 0-1: the family whose containers the rest is opened as (0 PC-98, 1
// X68000, 2 Apple II), or 3 for one Apple II track (track 17): nibbles, or
// with bit 2 set a 3-byte bit count (LE) and the bits. The seeds are small
// containers: 2HD volumes of two tracks, Apple II images of two tracks,
// WOZ files holding track 0 alone.

// Writes one folder of seed inputs per fuzz target into `dir`.
void write_seed_corpora(const std::filesystem::path& dir);

// A folder of this process's own, created on first use, removed at exit.
// It holds the X68000 and PC-98 images x68k.xdf, disk1.fdi and disk2.fdi
// (fat12_fuzz_volume()), an empty disk1.NEW.fdi, link.fdi, a symbolic link
// to the missing disk2.NEW.fdi, and `answers`, lines of "y".
std::filesystem::path fuzz_scratch_dir();

// Writes `size` bytes to `name` in the scratch folder and returns its path.
std::string write_scratch_file(const std::string& name, const std::uint8_t* data, std::size_t size);

// Calls a program's run function with the arguments, as its main would.
int run_with_args(int (*run)(int, char**), std::vector<std::string> args);
