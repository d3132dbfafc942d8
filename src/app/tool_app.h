#pragma once
// The process's application object: reads the command line and runs the
// whole program.

#include <string>

class ToolApp {
 public:
  // The whole program; returns false so that the process ends afterwards.
  bool InitInstance(const std::string& arguments);
};

// Makes a typed path absolute with its folder in short (8.3) form; leaves
// it alone when it is empty, shorter than 3 characters or already holds
// ":\\"; empties it when the folder cannot be resolved.
void MakeAbsoluteShortPath(std::string& path);

// Lower-cases by the system code page's rules.
void SystemLowerCase(std::string& text);
