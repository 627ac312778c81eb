#include "samples/samples.h"

int main(int argc, char** argv) { return run_make_samples(argc, argv); }
