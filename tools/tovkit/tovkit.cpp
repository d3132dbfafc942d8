#include "tovkit.h"

#include <cstdio>

namespace tovkit {

namespace {
const char kUsage[] =
    "usage: tovkit COMMAND [ARGS...]\n"
    "\n"
    "The support engineer's companion to brindle.exe.\n"
    "\n"
    "commands:\n"
    "  help      this text\n";
}  // namespace

int Main(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  std::fprintf(stderr, "tovkit: unknown command '%s' (see 'tovkit --help')\n", args[0].c_str());
  return 2;
}

}  // namespace tovkit
