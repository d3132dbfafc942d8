#include <windows.h>
// after windows.h
#include <process.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "run/local_text.h"
#include "support/beside_program_win.h"
#include "support/test_support.h"

namespace {

using testing_support::BesideThisProgram;

// Runs in a copy of this program beside its own .LOC (the test programs lie
// outside every drive, where no INI file is read), under the locale Wine
// took from LC_CTYPE; tests/e2e/local_text_locale.sh runs it under 0807.
TEST(LocalTextWin, DISABLED_ReadsTheFileNamedAfterTheProgram) {
  std::printf("system locale %04lX\n", static_cast<unsigned long>(::GetSystemDefaultLCID()));
  EXPECT_EQ(LocalText("Tool", "Title", "d"), "Exact");
  EXPECT_EQ(LocalText("Tool", "Help", "d"), "Language");  // the INI reader trims blanks
  EXPECT_EQ(LocalText("Tool", "WaitMsg", "d"), "Line one\nLine\ttwo");  // and quotes
}

TEST(LocalTextWin, FollowsTheSystemLocaleThroughItsSections) {
  testing_support::ScratchFolder folder("loc");
  const std::string program = folder / "texts.exe";
  ASSERT_TRUE(::CopyFileA(BesideThisProgram("run_tests.exe").c_str(), program.c_str(), TRUE));

  std::string s[3];
  LocalTextSections(::GetSystemDefaultLCID(), s);
  std::map<std::string, std::string> sections;  // for 0409 the last is the first again
  sections[s[0]] += "Tool_Title=Exact\r\nTool_Help=\r\n";
  sections[s[1]] += "Tool_Help=  Language  \r\n";
  sections[s[2]] += "Tool_WaitMsg=\"Line one\\nLine\\ttwo\"\r\n";
  std::string content;
  for (const auto& section : sections) content += "[" + section.first + "]\r\n" + section.second;
  testing_support::WriteFile(folder / "texts.LOC", content);

  // Its output (with the locale it ran under) goes to ours.
  EXPECT_EQ(_spawnl(_P_WAIT, program.c_str(), "texts.exe", "--gtest_also_run_disabled_tests",
                    "--gtest_brief=1", "--gtest_filter=LocalTextWin.DISABLED_*", nullptr),
            0)
      << "the copy's checks failed (output above)";
}

}  // namespace
