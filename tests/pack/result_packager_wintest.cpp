#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "app/run_settings.h"
#include "pack/result_packager.h"
#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

// T: is a 64 KiB drive that really fills up (mapped by the harness as root).
bool SmallDriveReady() { return ::GetDriveTypeA("T:\\") == DRIVE_FIXED; }

class ResultPackagerWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    ASSERT_TRUE(::CreateDirectoryA(res_.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((res_ + "\\sub").c_str(), nullptr));
  }
  void TearDown() override {
    ::DeleteFileA(kOut);
    Settings().Reset();
  }

  static constexpr const char* kOut = "T:\\result.tgz";
  ScratchFolder dir_{"packwin"};
  std::string res_ = dir_ / "res";
};

TEST_F(ResultPackagerWinTest, DiskFullMidPackingLosesNoFile) {
  if (!SmallDriveReady()) GTEST_SKIP() << "no T: drive (needs root)";
  // 160 KB that gzip cannot shrink, in files of 20 KB.
  std::mt19937 random(7);
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 8; ++i) {
    std::string data(20000, '\0');
    for (char& c : data) c = static_cast<char>(random());
    files.emplace_back(res_ + (i % 2 ? "\\sub\\f" : "\\f") + std::to_string(i), data);
    WriteFile(files.back().first, data);
  }
  EXPECT_FALSE(ResultPackager::Compress(res_, kOut));
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_TRUE(Settings().stopRequested);
  for (const auto& f : files) EXPECT_EQ(ReadFile(f.first), f.second) << f.first;
}

TEST_F(ResultPackagerWinTest, SmallResultFitsTheSmallDrive) {
  if (!SmallDriveReady()) GTEST_SKIP() << "no T: drive (needs root)";
  WriteFile(res_ + "\\Activity Log.csv", std::string(30000, 'a'));
  WriteFile(res_ + "\\sub\\x.reg", std::string(30000, 'x'));
  EXPECT_TRUE(ResultPackager::Compress(res_, kOut));
  EXPECT_FALSE(Settings().writeFailed);
  EXPECT_FALSE(FileExists(res_ + "\\sub"));
  EXPECT_FALSE(FileExists(res_ + "\\Activity Log.csv"));
  uint64_t length = 0;
  ASSERT_TRUE(ResultFileLength(kOut, &length));
  EXPECT_LT(length, 2000u);
}

}  // namespace
