#include "ega/ega.h"

int main(int argc, char** argv) { return run_egatiles(argc, argv); }
