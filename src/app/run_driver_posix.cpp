#include <unistd.h>

#include <climits>

#include "app/run_driver.h"
#include "run/text.h"
#include "sys/file_system.h"
#include "sys/folder_walk.h"

namespace {

// Lets the whole run pass work natively: scripts are found and copied with
// the file-system stand-ins, and no apartment or message box exists.
class PosixRun : public RunSystem {
 public:
  std::string ExecutableFolder() override {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0) return std::string();
    const std::string path(buffer, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
  }

  std::vector<std::string> FindScripts(const std::string& pattern) override {
    std::vector<std::string> names;
    sys::ForEachEntry(FolderOf(pattern), NameOf(pattern),
                      [&names](const std::string& name, sys::EntryKind) { names.push_back(name); });
    return names;
  }

  bool EnterApartment() override { return true; }
  void LeaveApartment() override {}

  std::string ReadScript(const std::string& path, std::string* bytes) override {
    return sys::ReadRegularFile(path, bytes);
  }

  void ShowMessage(const std::string&, const std::string&) override {}
};

}  // namespace

RunSystem& SystemRun() {
  static PosixRun run;
  return run;
}

CollectorTable StandardCollectors() { return CollectorTable(); }
