#include "app/run_thread_win.h"

#include <windows.h>
// after windows.h
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "run/run_settings.h"
#include "support/test_support.h"
#include "sys/folder_walk.h"

// A left-over folder with read-only files in nested folders, and the
// Save-As dialog answered, cancelled and abandoned, are run from outside by
// tests/e2e/dialog.sh.

namespace {

TEST(RemoveFolderContents, AnEmptyNameIsNotTheDrivesRoot) {
  testing_support::ScratchFolder scratch("rmf");
  char old[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, old);
  ::SetCurrentDirectoryA(scratch.path().c_str());
  testing_support::WriteFile(scratch / "keep.txt", "x");
  sys::RemoveFolderContents("");  // "\\*.*" would list the current drive's root
  sys::RemoveFolderContents(scratch / "missing");
  ::SetCurrentDirectoryA(old);
  EXPECT_TRUE(testing_support::FileExists(scratch / "keep.txt"));
}

TEST(AskSaveAsPath, LeavesNoComApartmentBehindForTheRunPass) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  testing_support::ScratchFolder scratch("saveas");
  Settings().Reset();
  // Like the run thread: asks, then initialises COM as the run pass does.
  std::string path;
  HRESULT com = E_FAIL;
  std::thread asker([&] {
    path = AskSaveAsPath(nullptr);
    com = ::CoInitialize(nullptr);
    if (SUCCEEDED(com)) ::CoUninitialize();
  });
  // Plays the user: types a name without extension and confirms.
  HWND dialog = nullptr;
  for (int i = 0; i < 300 && !(dialog && ::GetDlgItem(dialog, 0x47c)); ++i) {
    ::Sleep(50);
    dialog = ::FindWindowA("#32770", nullptr);
  }
  EXPECT_NE(dialog, nullptr) << "no Save-As dialog";
  if (!dialog) Settings().stopRequested = true;  // lets the question go
  ::SetWindowTextA(::GetDlgItem(dialog, 0x47c), (scratch / "typed").c_str());
  ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  asker.join();
  Settings().Reset();
  EXPECT_EQ(path, scratch / "typed.tgz");  // the dialog's default extension
  // S_FALSE here would make the run pass skip every script.
  EXPECT_EQ(com, S_OK);
}

}  // namespace
