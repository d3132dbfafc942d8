#pragma once
// Files that the build puts beside a Windows test program.

#include <windows.h>

#include <string>

namespace testing_support {

// A file beside this test program. Started from outside every drive, Wine
// names the program unix\..., which opens only with \\?\ in front.
inline std::string BesideThisProgram(const std::string& name) {
  char path[MAX_PATH];
  std::string program(path, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
  program = program.substr(0, program.rfind('\\') + 1) + name;
  if (::GetFileAttributesA(program.c_str()) != INVALID_FILE_ATTRIBUTES) return program;
  return "\\\\?\\" + program;
}

}  // namespace testing_support
