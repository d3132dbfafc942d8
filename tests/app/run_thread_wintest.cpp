#include "app/run_thread_win.h"

#include <windows.h>
// after windows.h
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "app/run_settings.h"
#include "support/test_support.h"

namespace {

using testing_support::ScratchFolder;
using testing_support::WriteFile;

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(RemoveFolderContents, EmptiesALeftOverTemporaryFolder) {
  ScratchFolder scratch("rmf");
  const std::string temp = scratch / "~BX_TEMP";
  ASSERT_TRUE(::CreateDirectoryA(temp.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA((temp + "\\Script").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA((temp + "\\Script\\deeper").c_str(), nullptr));
  const std::string files[] = {temp + "\\Activity Log.csv", temp + "\\Script\\a.txt",
                               temp + "\\Script\\deeper\\b.txt"};
  for (const std::string& file : files) {
    WriteFile(file, "x");
    // DeleteFileA refuses read-only files (under Wine even as root).
    ASSERT_TRUE(::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
  }
  ASSERT_TRUE(::SetFileAttributesA((temp + "\\Script").c_str(), FILE_ATTRIBUTE_READONLY));

  RemoveFolderContents(temp);

  EXPECT_TRUE(Exists(temp));  // the folder itself stays
  for (const std::string& file : files) EXPECT_FALSE(Exists(file)) << file;
  EXPECT_FALSE(Exists(temp + "\\Script"));
  EXPECT_TRUE(::RemoveDirectoryA(temp.c_str())) << "something was left inside";
}

TEST(RemoveFolderContents, AnEmptyNameIsNotTheCurrentFolder) {
  ScratchFolder scratch("rmf");
  char old[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, old);
  ::SetCurrentDirectoryA(scratch.path().c_str());
  WriteFile(scratch / "keep.txt", "x");
  RemoveFolderContents("");
  RemoveFolderContents(scratch / "missing");
  ::SetCurrentDirectoryA(old);
  EXPECT_TRUE(Exists(scratch / "keep.txt"));
}

TEST(GetModuleFolder, NamesTheModulesFolder) {
  const std::string system = GetModuleFolder("kernel32.dll");
  ASSERT_GE(system.size(), 9u);
  EXPECT_STRCASEEQ(system.substr(system.size() - 9).c_str(), "\\system32");
  EXPECT_EQ(GetModuleFolder("no-such-module.dll"), "");
  const std::string own = GetModuleFolder();
  EXPECT_NE(own, "");
  EXPECT_NE(own.back(), '\\');
}

// The Save-As tests need windows, so a display (the harness runs ctest under
// Xvfb).
bool HaveDisplay() { return std::getenv("DISPLAY") != nullptr; }

struct SaveAsAnswer {
  std::string typed;  // "" to leave the dialog open
  std::atomic<bool> found{false};
};

// Plays the user: waits for the file dialog, types a name and confirms.
DWORD WINAPI AnswerSaveAs(LPVOID parameter) {
  auto& answer = *static_cast<SaveAsAnswer*>(parameter);
  for (int i = 0; i < 300; ++i) {
    ::Sleep(50);
    HWND dialog = ::FindWindowA("#32770", nullptr);
    if (!dialog || !::GetDlgItem(dialog, 0x47c)) continue;
    answer.found = true;
    if (answer.typed.empty()) return 0;
    ::SetWindowTextA(::GetDlgItem(dialog, 0x47c), answer.typed.c_str());
    ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return 0;
  }
  return 1;
}

struct SaveAsRun {
  std::string path;
  HRESULT comAfterwards = E_FAIL;
};

// A thread like the run thread: asks, then initialises COM as the run
// pass does.
DWORD WINAPI AskThenInitialiseCom(LPVOID parameter) {
  auto& run = *static_cast<SaveAsRun*>(parameter);
  run.path = AskSaveAsPath(nullptr);
  run.comAfterwards = ::CoInitialize(nullptr);
  if (SUCCEEDED(run.comAfterwards)) ::CoUninitialize();
  return 0;
}

TEST(AskSaveAsPath, LeavesNoComApartmentBehindForTheRunPass) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  ScratchFolder scratch("saveas");
  Settings().Reset();
  SaveAsAnswer answer;
  answer.typed = scratch / "typed";
  SaveAsRun run;
  HANDLE user = ::CreateThread(nullptr, 0, AnswerSaveAs, &answer, 0, nullptr);
  HANDLE asker = ::CreateThread(nullptr, 0, AskThenInitialiseCom, &run, 0, nullptr);
  EXPECT_EQ(::WaitForSingleObject(asker, 30000), WAIT_OBJECT_0);
  ::WaitForSingleObject(user, 30000);
  ::CloseHandle(asker);
  ::CloseHandle(user);
  EXPECT_EQ(run.path, scratch / "typed.tgz");  // the dialog's default extension
  // S_FALSE here would make the run pass skip every script.
  EXPECT_EQ(run.comAfterwards, S_OK);
}

TEST(AskSaveAsPath, AStopRequestCancelsTheQuestion) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  Settings().Reset();
  SaveAsAnswer answer;  // finds the dialog but never answers
  SaveAsRun run;
  HANDLE user = ::CreateThread(nullptr, 0, AnswerSaveAs, &answer, 0, nullptr);
  HANDLE asker = ::CreateThread(nullptr, 0, AskThenInitialiseCom, &run, 0, nullptr);
  ::WaitForSingleObject(user, 30000);
  ASSERT_TRUE(answer.found);
  Settings().stopRequested = true;
  EXPECT_EQ(::WaitForSingleObject(asker, 10000), WAIT_OBJECT_0);
  ::CloseHandle(asker);
  ::CloseHandle(user);
  EXPECT_EQ(run.path, "");
  Settings().Reset();
}

}  // namespace
