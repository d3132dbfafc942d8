#include <windows.h>

#include "script/action_dispatcher.h"

bool CreateActionFolder(const std::string& path) {
  // An existing folder is fine: two FILES actions of one name share it.
  return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE ||
         ::GetLastError() == ERROR_ALREADY_EXISTS;
}
