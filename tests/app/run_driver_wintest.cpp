#include "app/run_driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run/run_settings.h"
#include "run/signature.h"
#include "support/archive.h"
#include "support/test_support.h"

namespace {

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
  ScriptRunner("").Run(RunPassRun);
  EXPECT_FALSE(Settings().writeFailed);
  EXPECT_FALSE(testing_support::FileExists(dir / "~BX_TEMP"));
  auto members = testing_support::ReadArchive(dir / "r.tgz");

  const std::string& log = members["Activity Log.csv"];
  EXPECT_EQ(log.rfind("TOV TOOL CASE ID = c42\r\n\r\nTime,Type,Description\r\n", 0), 0u) << log;
  EXPECT_NE(log.find(",INFORMATION,XML file found: good.tov\r\n"), std::string::npos);
  EXPECT_NE(log.find(",DEBUG,Debug requested but not yet implemented\r\n"), std::string::npos);
  EXPECT_NE(log.find(",ERROR,XML file edited.tov does not have a valid signiture and will not be "
                     "processed.\r\n"),
            std::string::npos)
      << log;
  // Both scripts travel with the result, the refused one too.
  EXPECT_EQ(members["edited.tov"], edited);
  EXPECT_EQ(members["good.tov"], good);

  const std::string& list = members["FileList.csv"];
  EXPECT_TRUE(CheckSignature(list)) << list;
  EXPECT_EQ(list.rfind("<FILE_LIST_START_", 0), 0u);
  for (const char* row : {",edited.tov,\r\n", ",good.tov,\r\n", ",Activity Log.csv,\r\n"}) {
    EXPECT_NE(list.find(row), std::string::npos) << row;
  }
}

TEST_F(ScriptRunnerTest, TempFolderLiesBesideTheResultAndCountingWritesNothing) {
  ScratchFolder dir("count");
  WriteFile(dir / "one.tov", "<a/>");
  Settings().xmlFile = dir / "*.tov";
  Settings().outFile = dir / "r.tgz";
  {
    ScriptRunner runner("*:?*");
    EXPECT_EQ(runner.tempFolder, dir / "~BX_TEMP");
    EXPECT_EQ(Settings().tempFolder, runner.tempFolder);
    EXPECT_EQ(runner.Run(RunPassCount), 0);
  }
  EXPECT_FALSE(testing_support::FileExists(dir / "~BX_TEMP"));
  Settings().outFile.clear();
  ScriptRunner runner("*:?*");  // no folder: the executable's
  EXPECT_EQ(runner.tempFolder, runner.exeFolder + "\\~BX_TEMP");
}

TEST_F(ScriptRunnerTest, WriteFailuresFailTheRun) {
  ScratchFolder dir("fail");
  Settings().xmlFile = dir / "*.tov";
  Settings().outFile = dir / "no\\such\\r.tgz";
  ScriptRunner("").Run(RunPassRun);
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_TRUE(Settings().stopRequested);

  if (::GetDriveTypeA("T:\\") != DRIVE_FIXED) GTEST_SKIP() << "no T: tmpfs drive (needs root)";
  Settings().writeFailed = false;
  Settings().stopRequested = false;
  {
    std::ofstream filler("T:\\filler.bin", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size()) && filler.flush()) {
    }
  }
  Settings().outFile = "T:\\r.tgz";
  ScriptRunner("").Run(RunPassRun);
  EXPECT_TRUE(Settings().writeFailed);
  std::filesystem::remove("T:\\filler.bin");
  std::filesystem::remove_all("T:\\~BX_TEMP");
}

}  // namespace
