#include <sys/stat.h>

#include <cstdlib>

#include "expr/path_resolver.h"
#include "sys/posix_path.h"

namespace {

// Off Windows only the environment and files are real; there is no
// registry, installer or INI reader to ask.
class PosixLookups : public PathLookups {
 public:
  bool Environment(const std::string& name, std::string* value) const override {
    const char* found = std::getenv(name.c_str());
    if (found == nullptr) return false;
    *value = found;
    return true;
  }
  bool FileExists(const std::string& path) const override {
    struct stat info;
    return ::stat(sys::PosixPath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
  }
  std::string WindowsFolder() const override { return std::string(); }
  bool RegistryValue(RegistryRoot, const std::string&, const std::string&, size_t, uint32_t*,
                     std::string*) const override {
    return false;
  }
  int32_t LocateComponent(const std::string&, std::string* path) const override {
    path->clear();
    return -1;
  }
  std::string IniValue(const std::string&, const std::string&, const std::string&) const override {
    return std::string();
  }
};

}  // namespace

const PathLookups& SystemPathLookups() {
  static const PosixLookups lookups;
  return lookups;
}
