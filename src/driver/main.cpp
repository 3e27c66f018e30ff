// glimmerfrost: entry point.
#include "driver/demo.h"

int main(int argc, char** argv) { return gf::run_program(argc, argv); }
