#include "expr/registry_root.h"

#include <gtest/gtest.h>

namespace {

TEST(RegistrySpecificationProblem, NamesSpecificationsThatCanFindNothing) {
  const std::pair<const char*, const char*> kCases[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\X", ""},
      {"HKEY_USERS", ""},  // a root alone: nothing found, as before
      {"Run", ""},         // a name to search for
      {"HKEY_LOCAL_MACHIN\\Software\\X",
       "Unknown registry root HKEY_LOCAL_MACHIN in "
       "HKEY_LOCAL_MACHIN\\Software\\X"},
      {"HKEY_LM", "Unknown registry root HKEY_LM"},
      {"HKLM\\Software",
       "Unknown registry root HKLM in HKLM\\Software: a key path starts with one "
       "of HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, "
       "HKEY_LOCAL_MACHINE, HKEY_USERS"},
      {"hkey_current_user\\Environment",
       "Registry key hkey_current_user\\Environment is searched for as a name, which never holds "
       "a backslash: a key path starts with HKEY_CURRENT_USER in capitals"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(RegistrySpecificationProblem(c.first), c.second) << c.first;
}

}  // namespace
