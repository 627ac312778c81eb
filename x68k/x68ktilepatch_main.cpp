#include "x68k/x68k.h"

int main(int argc, char** argv) { return run_x68ktilepatch(argc, argv); }
