// LogFile against the real (Wine) file system: what a line leaves on disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "run/log_file.h"
#include "run/run_settings.h"
#include "support/test_support.h"
#include "sys/file_system.h"
#include "sys/handles_win.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchFolder;

// Each line is on disk when AppendLine returns: removed under the run, the
// next line makes the file again.
TEST(LogFileWin, ALineIsWrittenWholeOrRefused) {
  Settings().Reset();
  ScratchFolder dir("logw");
  const std::string path = dir / "Activity Log.csv";
  LogFile log(path);
  ASSERT_TRUE(log.AppendLine("first"));
  ASSERT_TRUE(sys::RemoveFile(path));
  EXPECT_TRUE(log.AppendLine("second"));
  EXPECT_EQ(ReadFile(path), "second\r\n");

  // Held by another writer: refused, both flags, nothing half written.
  sys::ReleaseAppendHandle(path);
  {
    sys::FileHandle other(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other.valid());
    EXPECT_FALSE(log.AppendLine("third"));
  }
  EXPECT_TRUE(Settings().writeFailed && Settings().stopRequested);
  EXPECT_EQ(ReadFile(path), "second\r\n");
  Settings().Reset();
}

// T: is a 64 KiB drive that really fills up (mapped by the harness as root).
// Its free space is always within the low margin, so every line is asked
// about: nothing goes on the drive once less room than a line needs is left.
TEST(LogFileWin, NothingIsWrittenOnAFullDrive) {
  if (::GetDriveTypeA("T:\\") != DRIVE_FIXED) GTEST_SKIP() << "no T: tmpfs drive (needs root)";
  Settings().Reset();
  const std::string path = "T:\\log.csv", fillerPath = "T:\\filler.bin";
  ::DeleteFileA(path.c_str());
  LogFile log(path);
  ASSERT_TRUE(log.AppendLine("before"));
  {
    std::ofstream filler(fillerPath, std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size()) && filler.flush()) {
    }
  }
  ASSERT_LT(FreeSpaceThousands(path), 1u);
  EXPECT_FALSE(log.AppendLine("refused"));
  EXPECT_TRUE(Settings().writeFailed && Settings().stopRequested && log.failed());
  EXPECT_EQ(ReadFile(path), "before\r\n");
  Settings().Reset();
  ::DeleteFileA(fillerPath.c_str());
  sys::RemoveFile(path);
}

}  // namespace
