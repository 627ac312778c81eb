// Scratch files for fuzz targets that drive path-based loaders and whole
// program flows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A folder of this process's own, created on first use.
std::filesystem::path fuzz_scratch_dir();

// Writes `size` bytes to `name` in the scratch folder and returns its path.
std::string write_scratch_file(const std::string& name, const std::uint8_t* data, std::size_t size);

// Calls a program's run function with the arguments, as its main would.
int run_with_args(int (*run)(int, char**), std::vector<std::string> args);
