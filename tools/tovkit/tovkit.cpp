#include "tovkit.h"

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
    "  version   the version of tovkit (also --version)\n"
    "  help      this text\n"
    "\n"
    "Every command takes --help. Usage errors exit with status 2.\n";
}  // namespace

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
         bool progress) {
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    std::ostream& to = args.empty() ? err : out;
    to << kUsage;
    if (!kHasPrivateKeys) {
      to << "\nThis build has no OpenSSL: 'sign --key', 'decrypt' and '--key' need a private\n"
            "key and work only in the Linux tovkit.\n";
    }
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "version" || args[0] == "--version") {
    out << "tovkit " << TOVKIT_VERSION << "\n";
    return 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "sign") return Sign(rest, out, err);
  if (args[0] == "verify") return Verify(rest, out, err);
  if (args[0] == "inspect") return Inspect(rest, out, err, progress);
  if (args[0] == "lint") return Lint(rest, out, err);
  if (args[0] == "report") return Report(rest, out, err);
  if (args[0] == "brand") return Brand(rest, out, err);
  if (args[0] == "decrypt") return Decrypt(rest, out, err);
  err << "tovkit: unknown command '" << args[0] << "' (see 'tovkit --help')\n";
  return 2;
}

}  // namespace tovkit
