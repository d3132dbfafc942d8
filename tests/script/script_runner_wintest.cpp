#include "script/script_runner.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "app/run_settings.h"
#include "script/signature.h"
#include "support/archive.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

class ScriptRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    Settings().silent = true;  // never a message box in a test
  }
  void TearDown() override { Settings().Reset(); }
};

TEST_F(ScriptRunnerTest, TempFolderLiesBesideTheResult) {
  Settings().outFile = "D:\\results\\case.tgz";
  ScriptRunner runner("ignored");
  EXPECT_EQ(runner.tempFolder, "D:\\results\\~BX_TEMP");
  EXPECT_EQ(runner.outputPath, "D:\\results\\case.tgz");
  EXPECT_EQ(Settings().tempFolder, runner.tempFolder);
}

TEST_F(ScriptRunnerTest, PathWithoutFolderUsesTheExecutablesFolder) {
  ScriptRunner runner("*:?*");
  EXPECT_EQ(runner.tempFolder, runner.exeFolder + "\\~BX_TEMP");
  EXPECT_EQ(runner.outputPath, "*:?*");
}

TEST_F(ScriptRunnerTest, RunPacksEveryScriptAndRefusesBadSignatures) {
  ScratchFolder dir("run");
  std::string good = "<Good><DEBUG a=\"1\"/></Good>";
  ASSERT_TRUE(InsertSignature(&good, TextCrc(good)));
  std::string edited = good;
  edited.replace(edited.find("1"), 1, "2");
  WriteFile(dir / "good.tov", good);
  WriteFile(dir / "edited.tov", edited);
  Settings().xmlFile = dir / "*.tov";
  Settings().outFile = dir / "r.tgz";
  Settings().caseIdGiven = true;
  Settings().caseId = "c42";
  {
    ScriptRunner runner("");
    runner.Run(RunPassRun);
  }
  EXPECT_FALSE(Settings().writeFailed);
  EXPECT_FALSE(testing_support::FileExists(dir / "~BX_TEMP"));
  auto members = testing_support::ReadArchive(dir / "r.tgz");

  const std::string& log = members["Activity Log.csv"];
  EXPECT_EQ(log.rfind("TOV TOOL CASE ID = c42\r\n\r\nTime,Type,Description\r\n", 0), 0u) << log;
  EXPECT_NE(log.find(",INFORMATION,XML file found: good.tov\r\n"), std::string::npos);
  EXPECT_NE(log.find(",ERROR,XML file edited.tov does not have a valid signiture and will not be "
                     "processed.\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("good.tov does not"), std::string::npos);
  // Both scripts travel with the result, the refused one too.
  EXPECT_EQ(members["edited.tov"], edited);
  EXPECT_EQ(members["good.tov"], good);

  const std::string& list = members["FileList.csv"];
  EXPECT_TRUE(CheckSignature(list)) << list;
  EXPECT_EQ(list.rfind("<FILE_LIST_START_", 0), 0u);
  EXPECT_NE(list.find("<FILE_LIST_END_"), std::string::npos);
  for (const char* row : {",edited.tov,\r\n", ",good.tov,\r\n", ",Activity Log.csv,\r\n"}) {
    EXPECT_NE(list.find(row), std::string::npos) << row;
  }
}

TEST_F(ScriptRunnerTest, CountingPassWritesNothing) {
  ScratchFolder dir("count");
  WriteFile(dir / "one.tov", "<a/>");
  Settings().xmlFile = dir / "*.tov";
  Settings().outFile = dir / "r.tgz";
  ScriptRunner runner("*:?*");
  EXPECT_EQ(runner.Run(RunPassCount), 0);
  EXPECT_FALSE(testing_support::FileExists(dir / "~BX_TEMP"));
}

TEST_F(ScriptRunnerTest, MissingDestinationFolderFailsTheRun) {
  ScratchFolder dir("fail");
  Settings().outFile = dir / "no\\such\\r.tgz";
  Settings().xmlFile = dir / "*.tov";
  ScriptRunner runner("");
  runner.Run(RunPassRun);
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_TRUE(Settings().stopRequested);
}

TEST_F(ScriptRunnerTest, FullDriveFailsTheRun) {
  if (::GetDriveTypeA("T:\\") != DRIVE_FIXED) GTEST_SKIP() << "no T: tmpfs drive (needs root)";
  // Fill the tiny drive, then run onto it.
  const std::string filler = "T:\\filler.bin";
  {
    HANDLE h = ::CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::string block(4096, 'x');
    DWORD written = 0;
    while (::WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
           written == block.size()) {
    }
    ::CloseHandle(h);
  }
  Settings().outFile = "T:\\r.tgz";
  Settings().xmlFile = "T:\\*.tov";
  {
    ScriptRunner runner("");
    runner.Run(RunPassRun);
  }
  EXPECT_TRUE(Settings().writeFailed);
  ::DeleteFileA(filler.c_str());
  ::DeleteFileA("T:\\~BX_TEMP\\Activity Log.csv");
  ::DeleteFileA("T:\\~BX_TEMP\\FileList.csv");
  ::RemoveDirectoryA("T:\\~BX_TEMP");
}

}  // namespace
