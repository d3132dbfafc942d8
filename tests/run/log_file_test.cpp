#include "run/log_file.h"

#include <gtest/gtest.h>

#include "run/run_settings.h"
#include "support/test_support.h"

namespace {

TEST(LogFileTest, EntryLinesExtendTheFileOrRaiseBothFlags) {
  const sys::LocalTime t{2024, 3, 5, 9, 7, 3};
  EXPECT_EQ(FormatLogEntry(t, SeverityWarning, "x"), "05/03/2024 09:07:03,WARNING,x");
  EXPECT_EQ(FormatLogEntry(t, SeverityCritical, "a,b"), "05/03/2024 09:07:03,CRITICAL ERROR,a,b");
  EXPECT_EQ(FormatLogEntry(t, 7, "").substr(19), ",???,");
  EXPECT_STREQ(SeverityName(-1), "???");
  EXPECT_EQ(FreeSpaceRoot("C:\\x\\y.csv"), "C:\\");
  // A share is its own volume, not the current drive.
  EXPECT_EQ(FreeSpaceRoot("\\\\srv\\share\\dir\\r.tgz"), "\\\\srv\\share\\");
  EXPECT_EQ(FreeSpaceRoot("\\\\srv\\share"), "\\\\srv\\share\\");

  Settings().Reset();
  testing_support::ScratchFolder dir;
  testing_support::WriteFile(dir / "log.csv", "old\r\n");
  LogFile log(dir / "log.csv");
  log.AppendLine("a");
  log.Write(SeverityInformation, "b");
  const std::string text = testing_support::ReadFile(log.path());
  ASSERT_EQ(text.size(), 8u + 35u) << text;
  EXPECT_EQ(text.substr(0, 8), "old\r\na\r\n");
  EXPECT_EQ(text.substr(27), ",INFORMATION,b\r\n");

  // Disabled, a log in a missing folder touches nothing; enabled, it fails.
  LogFile missing(dir / "missing/log.csv");
  missing.Disable();
  missing.Write(SeverityError, "dropped");
  EXPECT_FALSE(testing_support::FileExists(dir / "missing"));
  EXPECT_FALSE(Settings().writeFailed || Settings().stopRequested);
  missing.Enable();
  missing.AppendLine("x");
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_TRUE(Settings().stopRequested);
  Settings().Reset();
}

TEST(LogFileTest, FreeSpaceNeededGrowsWithTheLine) {
  const struct {
    size_t length;
    uint32_t leastThousands;
  } kRows[] = {{0, 1}, {499, 1}, {500, 2}, {600, 2}, {999, 2}, {1000, 3}};
  for (const auto& row : kRows) {
    EXPECT_FALSE(LineFits(row.leastThousands - 1, row.length)) << row.length;
    EXPECT_TRUE(LineFits(row.leastThousands, row.length)) << row.length;
  }
}

}  // namespace
