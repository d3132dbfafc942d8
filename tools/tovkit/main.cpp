#include <string>
#include <vector>

#include "tovkit.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tovkit::Main(args);
}
