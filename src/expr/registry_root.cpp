#include "expr/registry_root.h"

#include "run/text.h"

namespace {
const char* const kNames[kRegistryRootCount] = {
    "HKEY_CLASSES_ROOT",  "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
    "HKEY_LOCAL_MACHINE", "HKEY_USERS",
};
}  // namespace

RegistryRoot ParseRegistryRoot(const std::string& name) {
  for (int i = 0; i < kRegistryRootCount; ++i) {
    if (EqualsNoCase(name, kNames[i])) return static_cast<RegistryRoot>(i);
  }
  return RegistryRootNone;
}

const char* RegistryRootName(RegistryRoot root) {
  if (root < 0 || root >= kRegistryRootCount) return "";
  return kNames[root];
}
