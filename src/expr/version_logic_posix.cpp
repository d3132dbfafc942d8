#include <sys/stat.h>

#include "expr/version_logic.h"
#include "sys/posix_path.h"

namespace {

// Off Windows there is no OS version in the Windows sense: every condition
// then fails as uninitialised. Files and folders are real.
class PosixVersionFacts : public VersionSystem {
 public:
  bool ReadVersion(OsVersionInfo*) const override { return false; }
  bool ReadProductType(std::string*) const override { return false; }
  RegistryProbe ProbeRegistry(RegistryRoot, const std::string&, const std::string&) const override {
    RegistryProbe probe;
    probe.openError = 2;
    return probe;
  }
  bool PathAttributes(const std::string& path, bool* isFolder) const override {
    struct stat info;
    if (::stat(sys::PosixPath(path).c_str(), &info) != 0) return false;
    *isFolder = S_ISDIR(info.st_mode);
    return true;
  }
};

}  // namespace

const VersionSystem& SystemVersionFacts() {
  static const PosixVersionFacts facts;
  return facts;
}
