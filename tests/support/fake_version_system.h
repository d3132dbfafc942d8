#pragma once
// OS facts for condition tests: an XP SP2 workstation unless changed, a
// product type only when set, registry probes by "root|subkey|value name"
// (key not found otherwise); no file or folder exists.

#include <map>
#include <string>

#include "expr/version_logic.h"

namespace testing_support {

class FakeVersionSystem : public VersionSystem {
 public:
  bool ReadVersion(OsVersionInfo* out) const override {
    *out = info;
    return versionReadable;
  }
  bool ReadProductType(std::string* type) const override {
    *type = productType;
    return !productType.empty();
  }
  RegistryProbe ProbeRegistry(RegistryRoot root, const std::string& subkey,
                              const std::string& valueName) const override {
    const auto it = probes.find(std::to_string(root) + "|" + subkey + "|" + valueName);
    return it != probes.end() ? it->second : RegistryProbe{2, 0, 0, 0, ""};
  }
  bool PathAttributes(const std::string&, bool*) const override { return false; }

  bool versionReadable = true;
  OsVersionInfo info{5, 1, 2600, 2, "Service Pack 2"};
  std::string productType;
  std::map<std::string, RegistryProbe> probes;
};

}  // namespace testing_support
