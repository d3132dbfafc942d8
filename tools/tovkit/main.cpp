#include <cstdio>
#include <iostream>
#include <string>
#include <vector>
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "tovkit.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // Progress only for a person watching: a pipe or a log file gets none.
  return tovkit::Main(args, std::cout, std::cerr, isatty(fileno(stderr)) != 0);
}
