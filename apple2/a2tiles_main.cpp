#include "apple2/apple2.h"

int main(int argc, char** argv) { return run_a2tiles(argc, argv); }
