#include "app/tool_app.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstdint>

#include "app/command_line.h"
#include "app/exit_code.h"
#include "app/progress_dialog_win.h"
#include "app/run_thread_win.h"
#include "run/local_text.h"
#include "run/run_settings.h"
#include "run/text.h"

void SystemLowerCase(std::string& text) {
  if (!text.empty()) ::CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
}

bool MakeAbsoluteShortPath(std::string& path) {
  if (path.size() < 3 || path.find(":\\") != std::string::npos || path.rfind("\\\\", 0) == 0) {
    return true;
  }
  char current[MAX_PATH];
  const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, current);
  if (n == 0 || n >= MAX_PATH) return false;
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
    path = full;
    return false;
  }
  path = std::string(shortFolder, got) + name;
  return true;
}

namespace {

// No window can be made (no desktop; under Wine no display): a silent run
// needs none and runs on this thread; any other run cannot go on.
int RunWithoutWindow() {
  const RunSettings& settings = Settings();
  if (!settings.silent || settings.outFile.empty()) return kExitWriteFailed;
  const DWORD done =
      RunThreadProc(reinterpret_cast<LPVOID>(static_cast<uintptr_t>(::GetCurrentThreadId())));
  return RunExitCode(done == kRunPassDone, settings.writeFailed, settings.stopRequested,
                     settings.errorLogged);
}

}  // namespace

bool ToolApp::InitInstance(const std::string& arguments) {
  RunSettings& settings = Settings();
  if (!arguments.empty()) {
    if (WantsHelp(arguments)) {
      ::MessageBoxA(nullptr, LocalText("Tool", "Help", "Help not available").c_str(),
                    "Minimum Brindle Tool", MB_OK | MB_ICONQUESTION);
      return false;
    }
    ParseCommandLine(arguments, settings, SystemLowerCase,
                     [](unsigned char byte) { return ::IsDBCSLeadByte(byte) != FALSE; });
    // A pattern whose folder is missing matches nothing: it never falls
    // back to the scripts beside the executable.
    MakeAbsoluteShortPath(settings.xmlFile);
    // An interactive run asks for a result path that cannot be used; a
    // silent one tries it and ends with a write failure.
    if (!MakeAbsoluteShortPath(settings.outFile) && !settings.silent) settings.outFile.clear();
  }
  // Searches walk every drive: an empty card reader must not ask for a disk.
  // A silent run must not wait on a crash report box either; the tools it
  // starts inherit both.
  UINT errorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
  if (settings.silent) errorMode |= SEM_NOGPFAULTERRORBOX;
  ::SetErrorMode(errorMode);
  if (SilentRunHasNoResultPath(settings.silent, !settings.outFile.empty(), settings.caseIdGiven)) {
    exitCode_ = kExitBadCommandLine;
    return false;
  }
  // The dialog's progress bar is a common control, registered here.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  ProgressDialog dialog;
  if (dialog.DoModal() == -1) {
    exitCode_ = RunWithoutWindow();
    return false;
  }
  const HANDLE worker = static_cast<HANDLE>(settings.workerThread);
  DWORD done = STILL_ACTIVE;
  if (worker == nullptr || !::GetExitCodeThread(worker, &done)) done = 0;
  // The dialog gave up waiting for the run thread: end the process here,
  // before the runtime tears down the settings and the rest of the run's
  // state beneath a thread that still uses them.
  if (done == STILL_ACTIVE) ::ExitProcess(RunExitCode(false, settings.writeFailed, true, false));
  exitCode_ = RunExitCode(done == kRunPassDone, settings.writeFailed, settings.stopRequested,
                          settings.errorLogged);
  return false;
}
