#include "app/run_thread_win.h"

#include <windows.h>
// after windows.h
#include <commdlg.h>

#include <cstdint>

#include "app/output_path.h"
#include "app/run_driver.h"
#include "pack/result_packager.h"
#include "run/local_text.h"
#include "run/run_settings.h"
#include "run/text.h"
#include "sys/file_system.h"
#include "sys/folder_walk.h"
#include "sys/handles_win.h"

namespace {

struct SaveAsRequest {
  HWND owner;
  std::string proposed;
  std::string filter;  // NUL-separated, ends in two NULs
  std::string chosen;
};

DWORD WINAPI SaveAsThreadProc(LPVOID parameter) {
  SaveAsRequest& request = *static_cast<SaveAsRequest*>(parameter);
  char file[MAX_PATH] = {};
  ::lstrcpynA(file, request.proposed.c_str(), MAX_PATH);
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = request.owner;
  dialog.lpstrFilter = request.filter.c_str();
  dialog.lpstrFile = file;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrDefExt = "tgz";
  dialog.Flags =
      OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING;
  if (::GetSaveFileNameA(&dialog)) request.chosen = file;
  return 0;
}

BOOL CALLBACK CancelDialogWindow(HWND window, LPARAM) {
  char className[16] = {};
  ::GetClassNameA(window, className, sizeof className);
  if (::lstrcmpA(className, "#32770") == 0) ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

}  // namespace

std::string AskSaveAsPath(HWND owner) {
  SaveAsRequest request{
      owner, LocalText("Tool", "Filename", "Results.tgz"),
      FileDialogFilter(LocalText("Tool", "FileDesc", "Tool Results (*.tgz)|*.tgz||")),
      std::string()};
  DWORD threadId = 0;
  sys::KernelHandle thread(::CreateThread(nullptr, 0, SaveAsThreadProc, &request, 0, &threadId));
  if (!thread) return std::string();
  // Nobody may be left waiting on a question: once the user closed the
  // progress dialog, the question is cancelled too.
  while (::WaitForSingleObject(thread.get(), 100) == WAIT_TIMEOUT) {
    if (Settings().stopRequested) ::EnumThreadWindows(threadId, CancelDialogWindow, 0);
  }
  return request.chosen;
}

std::string ChooseOutputPath() {
  RunSettings& settings = Settings();
  const std::string path =
      ResultFilePath(ChooseOutputPath(settings, GetModuleFolder(), [&settings] {
        return AskSaveAsPath(static_cast<HWND>(settings.mainWindow));
      }));
  // Later readers of the setting see the file really written.
  if (!settings.outFile.empty()) settings.outFile = path;
  return path;
}

std::string GetModuleFolder(const char* moduleName) {
  HMODULE module = ::GetModuleHandleA(moduleName);
  if (!module) return std::string();
  char path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return FolderOf(std::string(path, length));
}

DWORD WINAPI RunThreadProc(LPVOID parameter) {
  const DWORD userInterfaceThread = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
  const std::string path = ChooseOutputPath();
  if (!path.empty()) {
    ScriptRunner runner(path);
    if (runner.ClaimResultName() && runner.ClaimTempFolder()) {
      // What is left under the claimed names was abandoned by an earlier run.
      runner.ClearLeftovers();
      runner.Run(RunPassRun);
    } else {
      // Without a free name and folder of its own the run would spoil another's.
      RaiseWriteFailure();
    }
  }
  ::PostThreadMessageA(userInterfaceThread, WM_QUIT, 0, 0);
  return path.empty() ? kNoRunPass : kRunPassDone;
}
