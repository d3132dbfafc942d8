// A real full disk; the run's order and failure paths are run natively
// (run_driver_test.cpp), whole runs by tests/e2e/run.sh.
#include "app/run_driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run/run_settings.h"
#include "support/test_support.h"

namespace {

TEST(ScriptRunnerWin, AFullDiskFailsTheRun) {
  if (::GetDriveTypeA("T:\\") != DRIVE_FIXED) GTEST_SKIP() << "no T: tmpfs drive (needs root)";
  testing_support::ScratchFolder dir("fail");
  Settings().Reset();
  Settings().silent = true;  // never a message box in a test
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
  Settings().Reset();
  std::filesystem::remove("T:\\filler.bin");
  std::filesystem::remove_all("T:\\~BX_TEMP");
}

}  // namespace
