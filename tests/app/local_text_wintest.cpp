#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "app/local_text.h"
#include "support/test_support.h"
#include "sys/handles_win.h"

namespace {

std::string ModulePath() {
  char path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

// A program started from outside every drive gets a module path such as
// unix\build\x.exe from Wine, which names the file only with \\?\ in front.
std::string OpenableModulePath() {
  const std::string path = ModulePath();
  if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
  return "\\\\?\\" + path;
}

std::string LocaleContent(LCID lcid) {
  std::string s[3];
  LocalTextSections(lcid, s);
  // For 0409 the last section is the first one again.
  std::map<std::string, std::string> sections;
  sections[s[0]] += "Tool_Title=Exact\r\nTool_Help=\r\n";
  sections[s[1]] += "Tool_Help=  Language  \r\n";
  sections[s[2]] += "Tool_WaitMsg=\"Line one\\nLine\\ttwo\"\r\nFiles_WorkMsg=\r\n";
  sections["0000"] += "Archive_WorkMsg=Elsewhere\r\n";
  std::string content;
  for (const auto& section : sections) content += "[" + section.first + "]\r\n" + section.second;
  return content;
}

// Runs in a copy of this program named texts.exe beside texts.LOC (the test
// programs themselves lie outside every drive, where no INI file is read).
// The system locale is whatever Wine took from LC_CTYPE at start-up;
// tests/e2e/local_text_locale.sh runs it once more under de_CH (0807,
// whose three sections all differ).
TEST(LocalTextWin, DISABLED_ReadsTheFileNamedAfterTheProgram) {
  const LCID lcid = ::GetSystemDefaultLCID();
  std::printf("system locale %04lX\n", static_cast<unsigned long>(lcid));
  EXPECT_EQ(LocalText("Tool", "Title", "d"), "Exact");
  EXPECT_EQ(LocalText("Tool", "Help", "d"), "Language");
  EXPECT_EQ(LocalText("Tool", "WaitMsg", "d"), "Line one\nLine\ttwo");
  EXPECT_EQ(LocalText("Files", "WorkMsg", "Copying files [%s]"), "Copying files [%s]");
  EXPECT_EQ(LocalText("Archive", "WorkMsg", "Compressing results"), "Compressing results");
}

TEST(LocalTextWin, FollowsTheSystemLocaleThroughItsSections) {
  testing_support::ScratchFolder folder("loc");
  const std::string program = folder / "texts.exe";
  ASSERT_TRUE(::CopyFileA(OpenableModulePath().c_str(), program.c_str(), TRUE));
  testing_support::WriteFile(folder / "texts.LOC", LocaleContent(::GetSystemDefaultLCID()));

  std::string command = "\"" + program +
                        "\" --gtest_also_run_disabled_tests --gtest_brief=1"
                        " --gtest_filter=LocalTextWin.DISABLED_ReadsTheFileNamedAfterTheProgram";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(::CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder.path().c_str(), &startup, &process))
      << ::GetLastError();
  sys::KernelHandle processHandle(process.hProcess);
  sys::KernelHandle threadHandle(process.hThread);
  ASSERT_EQ(::WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u) << "the copy's checks failed (output above)";
}

}  // namespace
