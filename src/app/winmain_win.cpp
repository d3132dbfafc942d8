#include <windows.h>

#include <string>

#include "app/tool_app.h"

namespace {
// The text after the program name, as the class library hands it over.
std::string Arguments() {
  const char* line = ::GetCommandLineA();
  if (*line == '"') {
    ++line;
    while (*line && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (*line && *line != ' ' && *line != '\t') ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  ToolApp app;
  app.InitInstance(Arguments());
  return app.exitCode();
}
