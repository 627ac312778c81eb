#include "pc98/pc98.h"

int main(int argc, char** argv) { return run_pc98tiles(argc, argv); }
