#include <windows.h>

#include <gtest/gtest.h>

#include "app/run_settings.h"
#include "pack/tar_test_util.h"
#include "pack/tar_writer.h"
#include "support/test_support.h"
#include "sys/handles_win.h"

namespace {

using testing_support::FileExists;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

class TarWriterWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    ASSERT_TRUE(::CreateDirectoryA(res_.c_str(), nullptr));
  }
  void TearDown() override { Settings().Reset(); }

  ScratchFolder dir_{"tarwin"};
  std::string res_ = dir_ / "res";
  MemorySink sink_;
};

TEST_F(TarWriterWinTest, ReadOnlyFileArchivedAndRemoved) {
  WriteFile(res_ + "\\ro.txt", "read only");
  ASSERT_TRUE(::SetFileAttributesA((res_ + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  TarWriter writer(&sink_);
  writer.AddFolder(dir_ / "out.tgz", res_, "*.*", true, "");
  writer.Finish(dir_ / "out.tgz");
  writer.Settle(true);
  EXPECT_EQ(sink_.data.substr(0, 6), std::string("ro.txt"));
  EXPECT_EQ(sink_.data.substr(512, 9), "read only");
  EXPECT_FALSE(FileExists(res_ + "\\ro.txt"));
  EXPECT_FALSE(Settings().writeFailed);
}

TEST_F(TarWriterWinTest, FileHeldOpenStaysWithItsFolder) {
  ASSERT_TRUE(::CreateDirectoryA((res_ + "\\sub").c_str(), nullptr));
  WriteFile(res_ + "\\sub\\busy.log", "busy");
  WriteFile(res_ + "\\sub\\free.log", "free");
  {
    sys::FileHandle held(::CreateFileA((res_ + "\\sub\\busy.log").c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    TarWriter writer(&sink_);
    writer.AddFolder(dir_ / "out.tgz", res_, "*.*", true, "");
    writer.Finish(dir_ / "out.tgz");
    writer.Settle(true);
  }
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_FALSE(Settings().stopRequested);  // the walk went on
  EXPECT_EQ(sink_.data.find("busy.log"), std::string::npos);
  EXPECT_NE(sink_.data.find("sub/free.log"), std::string::npos);
  EXPECT_EQ(testing_support::ReadFile(res_ + "\\sub\\busy.log"), "busy");
  EXPECT_FALSE(FileExists(res_ + "\\sub\\free.log"));
}

}  // namespace
