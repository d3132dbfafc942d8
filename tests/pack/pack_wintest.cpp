#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "pack/file_manifest.h"
#include "pack/pack_test_util.h"
#include "pack/result_packager.h"
#include "pack/tar_writer.h"
#include "run/log_file.h"
#include "sys/handles_win.h"

namespace {

using PackWinTest = PackTest;

// A file someone holds open gets no row and no member, and stays with its
// folder while the walk goes on; hidden and read-only files are swept,
// archived and removed.
TEST_F(PackWinTest, HeldHiddenAndReadOnlyFiles) {
  const std::string res = dir_ / "res";
  const std::string readOnly = Put(res, "A.txt", "A");
  const std::string hidden = Put(res, "hidden.txt", "h");
  const std::string busy = Put(res, "sub\\busy.log", "busy");
  const std::string free = Put(res, "sub\\free.log", "free");
  ASSERT_TRUE(::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  // Even a reader that shares everything keeps the exclusive opens out.
  sys::FileHandle held(::CreateFileA(busy.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.valid());
  LogFile fileList(res + "\\FileList.csv");
  FileManifest manifest(&fileList, res);
  manifest.AddFile("sub\\busy.log", "");
  manifest.AddFile("A.txt", "");
  manifest.ListExternalFiles();
  EXPECT_EQ(
      ReadFile(res + "\\FileList.csv"),
      "D3D99E8B,A.txt,\r\n<EXTERNAL_FILES>\r\n916B06E7,hidden.txt,\r\n4D2EC1C8,sub\\free.log,\r\n");
  MemorySink sink;
  TarWriter writer(&sink);
  writer.AddFolder(dir_ / "out.tgz", res);
  writer.Finish(dir_ / "out.tgz");
  writer.Settle(true);
  EXPECT_EQ(sink.data.substr(0, 5) + sink.data[512], "A.txtA");  // the read-only file
  EXPECT_NE(sink.data.find("sub/free.log"), std::string::npos);
  EXPECT_EQ(sink.data.find("busy.log"), std::string::npos);
  EXPECT_FALSE(FileExists(readOnly) || FileExists(hidden) || FileExists(free));
  EXPECT_TRUE(FileExists(busy) && FileExists(res + "\\sub"));
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_FALSE(Settings().stopRequested);
}

// T: is a 64 KiB drive that really fills up (mapped by the harness as root):
// packing fails there without losing any file.
TEST_F(PackWinTest, DiskFullMidPackingLosesNoFile) {
  if (::GetDriveTypeA("T:\\") != DRIVE_FIXED) GTEST_SKIP() << "no T: drive (needs root)";
  const char* out = "T:\\result.tgz";
  ASSERT_GE(FreeSpaceThousands(out), 30u);  // it is the packing that fills the drive
  // 160 KB that gzip cannot shrink, in files of 20 KB.
  std::mt19937 random(7);
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 8; ++i) {
    std::string data(20000, '\0');
    for (char& c : data) c = static_cast<char>(random());
    files.emplace_back(Put(dir_ / "res", (i % 2 ? "sub\\f" : "f") + std::to_string(i), data), data);
  }
  EXPECT_FALSE(ResultPackager::Compress(dir_ / "res", out));
  EXPECT_TRUE(Settings().writeFailed && Settings().stopRequested);
  for (const auto& f : files) EXPECT_EQ(ReadFile(f.first), f.second) << f.first;
  ::DeleteFileA(out);
}

}  // namespace
