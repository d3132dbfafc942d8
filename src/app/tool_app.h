#pragma once
// The process's application object: reads the command line and runs the
// whole program.

#include <string>

class ToolApp {
 public:
  // The whole program; returns false so that the process ends afterwards.
  bool InitInstance(const std::string& arguments);
  // What the process ends with (app/exit_code.h).
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_ = 0;
};

// Makes a typed path absolute with its folder in short (8.3) form; leaves
// it alone when it is empty, shorter than 3 characters, already holds ":\\"
// or is a network path ("\\\\server\\share\\..."). False when the folder
// cannot be resolved: the path is then absolute but in its long form.
bool MakeAbsoluteShortPath(std::string& path);

// Lower-cases by the system code page's rules.
void SystemLowerCase(std::string& text);
