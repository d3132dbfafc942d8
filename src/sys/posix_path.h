#pragma once
// The core joins paths with "\\"; the POSIX stand-ins map them to "/".

#include <string>

namespace sys {

inline std::string PosixPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace sys
