#include "tovkit.h"

#include <cstdio>
#include <iostream>
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "brand.h"
#include "decrypt.h"
#include "inspect.h"
#include "keys.h"
#include "report.h"
#include "script_lint.h"
#include "sign.h"

namespace tovkit {

namespace {
const char kUsage[] =
    "usage: tovkit COMMAND [ARGS...]\n"
    "\n"
    "The support engineer's companion to brindle.exe.\n"
    "\n"
    "commands:\n"
    "  sign      sign scripts in place (tovkit sign --help)\n"
    "  verify    check the signatures of scripts and FileList.csv\n"
    "  lint      check scripts for what a run would drop or skip\n"
    "  inspect   check result .tgz files (or a folder of them) against their FileList.csv\n"
    "  report    one self-contained HTML page about a result .tgz\n"
    "  brand     a copy of brindle.exe for your organisation (tovkit brand --help)\n"
    "  decrypt   open an encrypted result .tgz.p7m with your key\n"
    "  help      this text\n";
}  // namespace

int Main(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    if (!kHasPrivateKeys) {
      std::fputs(
          "\nThis build has no OpenSSL: 'sign --key', 'decrypt' and '--key' need a private\n"
          "key and work only in the Linux tovkit.\n",
          args.empty() ? stderr : stdout);
    }
    return args.empty() ? 2 : 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "sign") return Sign(rest, std::cout, std::cerr);
  if (args[0] == "verify") return Verify(rest, std::cout, std::cerr);
  if (args[0] == "inspect") {
    // Progress only for a person watching: a pipe or a log file gets none.
    return Inspect(rest, std::cout, std::cerr, isatty(fileno(stderr)) != 0);
  }
  if (args[0] == "lint") return Lint(rest, std::cout, std::cerr);
  if (args[0] == "report") return Report(rest, std::cout, std::cerr);
  if (args[0] == "brand") return Brand(rest, std::cout, std::cerr);
  if (args[0] == "decrypt") return Decrypt(rest, std::cout, std::cerr);
  std::fprintf(stderr, "tovkit: unknown command '%s' (see 'tovkit --help')\n", args[0].c_str());
  return 2;
}

}  // namespace tovkit
