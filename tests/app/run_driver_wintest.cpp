// The run pass with the real Windows edge; its order and failure paths are
// run natively (run_driver_test.cpp), whole runs by tests/e2e/run.sh.
#include "app/run_driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run/run_settings.h"
#include "support/test_support.h"

namespace {

using testing_support::ScratchFolder;

class ScriptRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    Settings().silent = true;  // never a message box in a test
  }
  void TearDown() override { Settings().Reset(); }
};

TEST_F(ScriptRunnerTest, TempFolderLiesBesideTheResultOrTheExecutable) {
  ScratchFolder dir("count");
  Settings().outFile = dir / "r.tgz";
  {
    ScriptRunner runner("*:?*");
    EXPECT_EQ(runner.tempFolder, dir / "~BX_TEMP");
    EXPECT_EQ(Settings().tempFolder, runner.tempFolder);
  }
  Settings().outFile.clear();
  ScriptRunner runner("*:?*");
  EXPECT_EQ(runner.tempFolder, runner.exeFolder + "\\~BX_TEMP");
}

// A disk that fills during the run fails it.
TEST_F(ScriptRunnerTest, AFullDiskFailsTheRun) {
  if (::GetDriveTypeA("T:\\") != DRIVE_FIXED) GTEST_SKIP() << "no T: tmpfs drive (needs root)";
  ScratchFolder dir("fail");
  Settings().xmlFile = dir / "*.tov";
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
