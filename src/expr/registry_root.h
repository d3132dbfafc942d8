#pragma once
// The registry roots a script may name, in the order a name search walks
// them. Full names only ("HKEY_LOCAL_MACHINE"), any case; no short forms
// such as "HKLM".

#include <cstdint>
#include <string>

enum RegistryRoot : int32_t {
  RegistryRootNone = -1,
  RegistryRootClassesRoot = 0,
  RegistryRootCurrentConfig,
  RegistryRootCurrentUser,
  RegistryRootLocalMachine,
  RegistryRootUsers,
};
constexpr int kRegistryRootCount = 5;

// RegistryRootNone for anything that names no root.
RegistryRoot ParseRegistryRoot(const std::string& name);

// "HKEY_CLASSES_ROOT" ... "HKEY_USERS"; "" for RegistryRootNone.
const char* RegistryRootName(RegistryRoot root);

// Why a REGISTRY specification can name no key at all, or "" when it can.
// A path starts with "HKEY_" in capitals, and the text up to its first
// backslash must then be one of the roots ("HKEY_LOCAL_MACHIN\\X" names
// none). Anything else is a key name to search for, and a key name never
// holds a backslash: "HKLM\\X" or "hkey_local_machine\\X" finds nothing.
std::string RegistrySpecificationProblem(const std::string& specification);
