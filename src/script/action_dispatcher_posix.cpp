#include <sys/stat.h>

#include <cerrno>

#include "script/action_dispatcher.h"

bool CreateActionFolder(const std::string& path) {
  // The core joins paths with "\\"; here they are "/".
  std::string native = path;
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return ::mkdir(native.c_str(), 0777) == 0 || errno == EEXIST;
}
