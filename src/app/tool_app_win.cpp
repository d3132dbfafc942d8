#include "app/tool_app.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include "app/command_line.h"
#include "app/progress_dialog_win.h"
#include "run/local_text.h"
#include "run/run_settings.h"
#include "run/text.h"

void SystemLowerCase(std::string& text) {
  if (!text.empty()) ::CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
}

void MakeAbsoluteShortPath(std::string& path) {
  if (path.size() < 3 || path.find(":\\") != std::string::npos) return;
  char current[MAX_PATH];
  const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, current);
  if (n == 0 || n >= MAX_PATH) return;
  const std::string cwd(current, n);
  std::string full;
  if (path[0] == '\\') {
    const size_t colon = cwd.find(':');
    full = (colon == std::string::npos ? std::string() : cwd.substr(0, colon + 1)) + path;
  } else {
    full = cwd + "\\" + path;
  }
  const std::string folder = FolderOf(full);
  const std::string name = "\\" + NameOf(full);
  char shortFolder[MAX_PATH];
  const DWORD got = ::GetShortPathNameA(folder.c_str(), shortFolder, MAX_PATH);
  if (got == 0 || got >= MAX_PATH) {
    path.clear();
    return;
  }
  path = std::string(shortFolder, got) + name;
}

bool ToolApp::InitInstance(const std::string& arguments) {
  RunSettings& settings = Settings();
  if (!arguments.empty()) {
    if (WantsHelp(arguments)) {
      ::MessageBoxA(nullptr, LocalText("Tool", "Help", "Help not available").c_str(),
                    "Minimum Brindle Tool", MB_OK | MB_ICONQUESTION);
      return false;
    }
    ParseCommandLine(arguments, settings, SystemLowerCase);
    MakeAbsoluteShortPath(settings.xmlFile);
    MakeAbsoluteShortPath(settings.outFile);
  }
  // The dialog's progress bar is a common control, registered here.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  ProgressDialog dialog;
  dialog.DoModal();
  // The dialog gave up waiting for the run thread: end the process here,
  // before the runtime tears down the settings and the rest of the run's
  // state beneath a thread that still uses them.
  const HANDLE worker = static_cast<HANDLE>(settings.workerThread);
  if (worker != nullptr && ::WaitForSingleObject(worker, 0) == WAIT_TIMEOUT) ::ExitProcess(0);
  return false;
}
