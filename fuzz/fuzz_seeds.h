// Seed inputs for the fuzz targets, made with the synthetic image builders.
#pragma once

#include <filesystem>

// Writes x68k.xdf, disk1.fdi and disk2.fdi, synthetic images holding the
// X68000 and PC-98 shape files, into `dir`.
void write_seed_images(const std::filesystem::path& dir);

// Writes one folder of seed inputs per fuzz target into `dir`.
void write_seed_corpora(const std::filesystem::path& dir);
