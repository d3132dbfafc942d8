#include "run/log_file.h"

#include <gtest/gtest.h>

#include "run/run_settings.h"
#include "support/test_support.h"

namespace {

TEST(LogFileTest, EntryLinesExtendTheFileOrRaiseBothFlags) {
  const sys::LocalTime t{2024, 3, 5, 9, 7, 3};
  EXPECT_EQ(FormatLogEntry(t, SeverityCritical, "a,b"), "05/03/2024 09:07:03,CRITICAL ERROR,a,b");
  EXPECT_EQ(FreeSpaceRoot("C:\\x\\y.csv"), "C:\\");
  // A share is its own volume, not the current drive.
  EXPECT_EQ(FreeSpaceRoot("\\\\srv\\share\\dir\\r.tgz"), "\\\\srv\\share\\");

  Settings().Reset();
  testing_support::ScratchFolder dir;
  testing_support::WriteFile(dir / "log.csv", "old\r\n");
  LogFile log(dir / "log.csv");
  log.AppendLine("a");
  EXPECT_EQ(testing_support::ReadFile(log.path()), "old\r\na\r\n");
  log.Write(SeverityWarning, "w");
  EXPECT_FALSE(Settings().errorLogged);
  log.Write(SeverityCritical, "c");
  EXPECT_TRUE(Settings().errorLogged);
  // A log in a missing folder fails, and the run stops.
  LogFile missing(dir / "missing/log.csv");
  missing.AppendLine("x");
  EXPECT_TRUE(Settings().writeFailed && Settings().stopRequested);
  Settings().Reset();
}

// The drive is asked only while the estimate keeps a wide margin; near the
// limit every line is asked about, so the refusal comes exactly where a
// query per line would have put it.
TEST(LogFileTest, FreeSpaceIsAskedAgainNearTheLimitAfterSomeMiBOrAfterASecond) {
  uint32_t freeThousands = 10000;  // 10 MB
  int queries = 0;
  auto now = std::chrono::steady_clock::time_point();
  FreeSpaceAccount room(
      [&](const std::string&) {
        ++queries;
        return freeThousands;
      },
      [&] { return now; });
  EXPECT_TRUE(room.LineFits("C:\\t\\log.csv", 100));
  EXPECT_TRUE(room.LineFits("C:\\t\\other.csv", 100));
  EXPECT_TRUE(room.LineFits("D:\\log.csv", 100));  // another drive, its own figure
  EXPECT_EQ(queries, 2);

  // After a few MiB written the drive is asked again.
  room.Charge("C:\\t\\log.csv", FreeSpaceAccount::kRequeryAfter);
  EXPECT_TRUE(room.LineFits("C:\\t\\x.csv", 100));
  EXPECT_EQ(queries, 3);

  // Within the low margin: every line asks, and the first one that no
  // longer fits is refused.
  freeThousands = 1000;  // under the margin
  now += FreeSpaceAccount::kRequeryEvery;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(room.LineFits("C:\\log.csv", 499));
  EXPECT_EQ(queries, 6);
  freeThousands = 1;
  EXPECT_TRUE(room.LineFits("C:\\log.csv", 499));
  EXPECT_FALSE(room.LineFits("C:\\log.csv", 500));

  // Charges bring a roomy estimate down into the margin, and then the
  // drive is asked at once.
  freeThousands = 2200;  // 2.2 MB: about 1.15 MB above the margin
  now += FreeSpaceAccount::kRequeryEvery;
  EXPECT_TRUE(room.LineFits("C:\\log.csv", 10));
  room.Charge("C:\\log.csv", 1300 * 1000);
  EXPECT_TRUE(room.LineFits("C:\\log.csv", 10));
  EXPECT_EQ(queries, 10);
}

}  // namespace
