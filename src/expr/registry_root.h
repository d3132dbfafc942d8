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
