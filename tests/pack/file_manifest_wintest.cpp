#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "app/run_settings.h"
#include "pack/file_manifest.h"
#include "support/test_support.h"
#include "sys/handles_win.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

class FileManifestWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    fileList_ = std::make_unique<LogFile>(dir_ / "FileList.csv");
    fileList_->AppendLine("<FILE_LIST_START>");
    FileManifest::Attach(fileList_.get(), dir_.path());
  }
  void TearDown() override {
    FileManifest::Detach();
    Settings().Reset();
  }
  std::string External() const {
    const std::string text = ReadFile(dir_ / "FileList.csv");
    const size_t marker = text.find("<EXTERNAL_FILES>\r\n");
    return marker == std::string::npos ? std::string() : text.substr(marker + 18);
  }

  ScratchFolder dir_{"manifest"};
  std::unique_ptr<LogFile> fileList_;
};

TEST_F(FileManifestWinTest, FileHeldOpenGetsNoRowAnywhere) {
  WriteFile(dir_ / "busy.txt", "busy");
  WriteFile(dir_ / "free.txt", "free");
  // Even a reader that shares everything keeps the exclusive open out.
  sys::FileHandle held(::CreateFileA((dir_ / "busy.txt").c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.valid());
  FileManifest::AddFile("busy.txt", "");
  FileManifest::AddFile("free.txt", "");
  FileManifest::ListExternalFiles();
  const std::string text = ReadFile(dir_ / "FileList.csv");
  EXPECT_EQ(text.find("busy.txt"), std::string::npos) << text;
  EXPECT_NE(text.find(",free.txt,\r\n"), std::string::npos);
  EXPECT_FALSE(Settings().writeFailed);
}

TEST_F(FileManifestWinTest, ExternalRowsInSweepOrder) {
  WriteFile(dir_ / "listed.txt", "x");
  ASSERT_TRUE(::CreateDirectoryA((dir_ / "b_sub").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA((dir_ / "a_sub").c_str(), nullptr));
  WriteFile(dir_ / "b_sub\\z.txt", "z");
  WriteFile(dir_ / "a_sub\\y.txt", "y");
  WriteFile(dir_ / "c.txt", "");
  WriteFile(dir_ / "A.txt", "A");
  WriteFile(dir_ / "hidden.txt", "h");
  ::SetFileAttributesA((dir_ / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  FileManifest::AddFile("listed.txt", "");
  FileManifest::ListExternalFiles();
  // The file system's order (sorted here), files before subfolders.
  EXPECT_EQ(External(),
            "D3D99E8B,A.txt,\r\n"
            "00000000,c.txt,\r\n"
            "916B06E7,hidden.txt,\r\n"
            "FBDB2615,a_sub\\y.txt,\r\n"
            "62D277AF,b_sub\\z.txt,\r\n");
}

}  // namespace
