#pragma once
// The run thread: chooses the result path, clears what an earlier run left
// behind, runs the run pass and ends the program.

#include <windows.h>

#include <string>

// The run thread's entry. `parameter` carries the identifier of the
// user-interface thread, which gets the quit message when the run is over.
// Returns kRunPassDone when a result path was chosen and the run pass ran,
// kNoRunPass when there was none (the user cancelled the question).
DWORD WINAPI RunThreadProc(LPVOID parameter);
constexpr DWORD kRunPassDone = 0;
constexpr DWORD kNoRunPass = 1;

// The result path from the command line, or from the Save-As dialog; ""
// when the user cancelled. Rewrites RunSettings.outFile and may clear
// RunSettings.silent.
std::string ChooseOutputPath();

// Asks for the result path in the Save-As dialog, owned by `owner`; "" when
// cancelled. The dialog runs on a short-lived thread of its own, so that
// nothing it sets up on its thread (COM above all) is left behind on the
// caller's, and it is cancelled when a stop is requested while it is open.
std::string AskSaveAsPath(HWND owner);

// Folder of the named module's file (the executable's for null), without
// a trailing "\\"; "" when the module is not loaded or the path holds no
// "\\".
std::string GetModuleFolder(const char* moduleName = nullptr);
