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

std::string RegistrySpecificationProblem(const std::string& specification) {
  const size_t slash = specification.find('\\');
  const std::string first = specification.substr(0, slash);
  const bool path = specification.compare(0, 5, "HKEY_") == 0;
  if (path && ParseRegistryRoot(first) == RegistryRootNone) {
    return "Unknown registry root " + first +
           (slash == std::string::npos ? std::string() : " in " + specification);
  }
  if (path || slash == std::string::npos) return std::string();
  if (ParseRegistryRoot(first) != RegistryRootNone) {
    return "Registry key " + specification +
           " is searched for as a name, which never holds a "
           "backslash: a key path starts with " +
           UpperAscii(first) + " in capitals";
  }
  return "Unknown registry root " + first + " in " + specification +
         ": a key path starts with one of HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, "
         "HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS";
}

const char* RegistryRootName(RegistryRoot root) {
  if (root < 0 || root >= kRegistryRootCount) return "";
  return kNames[root];
}
