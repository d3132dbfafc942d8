#pragma once
// The predefined key behind each root name a script may use.

#include <windows.h>

#include "expr/registry_root.h"

inline HKEY RegistryRootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRootClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRootCurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case RegistryRootCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRootLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRootUsers:
      return HKEY_USERS;
    default:
      return nullptr;
  }
}
