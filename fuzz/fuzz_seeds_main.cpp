// Writes the fuzz targets' seed corpora: fuzz_seeds OUTPUT-FOLDER
#include <cstdio>

#include "fuzz/fuzz_support.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: fuzz_seeds OUTPUT-FOLDER\n");
    return 1;
  }
  write_seed_corpora(argv[1]);
  return 0;
}
