#include "script/log_file.h"

#include <gtest/gtest.h>

#include "app/run_settings.h"
#include "support/test_support.h"

namespace {

#ifdef _WIN32
const char kSep[] = "\\";
#else
const char kSep[] = "/";
#endif

using testing_support::ReadFile;
using testing_support::ScratchFolder;

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().Reset(); }
  void TearDown() override { Settings().Reset(); }
};

TEST_F(LogFileTest, EntryLineFormat) {
  const sys::LocalTime t{2024, 3, 5, 9, 7, 3};
  EXPECT_EQ(FormatLogEntry(t, SeverityWarning, "x"), "05/03/2024 09:07:03,WARNING,x");
  EXPECT_EQ(FormatLogEntry(t, 7, "a,b"), "05/03/2024 09:07:03,???,a,b");
  EXPECT_EQ(FormatLogEntry(t, -1, ""), "05/03/2024 09:07:03,???,");
  EXPECT_STREQ(SeverityName(4), "CRITICAL ERROR");
  EXPECT_STREQ(SeverityName(0), "DEBUG");
}

TEST_F(LogFileTest, FreeSpaceRootTakesTheDrive) {
  EXPECT_EQ(FreeSpaceRoot("C:\\x\\y.csv"), "C:\\");
  EXPECT_EQ(FreeSpaceRoot("C:"), "C:");
  EXPECT_EQ(FreeSpaceRoot("relative\\x"), "r");
  EXPECT_EQ(FreeSpaceRoot(""), "");
}

TEST_F(LogFileTest, AppendsAndExtends) {
  ScratchFolder dir;
  const std::string path = dir / "log.csv";
  testing_support::WriteFile(path, "old\r\n");
  LogFile log(path);
  log.AppendLine("a");
  log.Write(SeverityInformation, "b");
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.substr(0, 8), "old\r\na\r\n");
  EXPECT_NE(text.find(",INFORMATION,b\r\n"), std::string::npos);
  EXPECT_FALSE(Settings().writeFailed);
}

TEST_F(LogFileTest, DisabledLogTouchesNothing) {
  ScratchFolder dir;
  LogFile log(dir / "missing" + kSep + "log.csv");
  log.Disable();
  log.Write(SeverityError, "dropped");
  EXPECT_FALSE(testing_support::FileExists(dir / "missing"));
  EXPECT_FALSE(Settings().writeFailed);
  EXPECT_FALSE(Settings().stopRequested);
}

TEST_F(LogFileTest, MissingFolderRaisesBothFlags) {
  ScratchFolder dir;
  LogFile log(dir / "missing" + kSep + "log.csv");
  log.AppendLine("x");
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_TRUE(Settings().stopRequested);
}

}  // namespace
