#include "pack/file_manifest.h"

#include <gtest/gtest.h>

#include "pack/pack_test_util.h"

namespace {

class FileManifestTest : public PackTest {
 protected:
  void SetUp() override {
    PackTest::SetUp();
    fileList_.AppendLine("<FILE_LIST_START>");
  }
  std::string Manifest() const { return ReadFile(dir_ / "FileList.csv"); }

  LogFile fileList_{dir_ / "FileList.csv"};
  FileManifest manifest_{&fileList_, dir_.path()};
};

// At most one unlisted file per folder keeps the sweep's order fixed.
TEST_F(FileManifestTest, RowsThenExternalFiles) {
  const std::string big(16384 * 2 + 1, 'q');  // past twice the read size
  Put(dir_.path(), "empty.txt", "");
  Put(dir_.path(), "digits.txt", "123456789");
  Put(dir_.path(), "sub\\over.bin", big);
  Put(dir_.path(), "a,b.txt", "c");               // commas never list a file twice
  Put(dir_.path(), "sub\\FileList.csv", "s");     // not the manifest itself
  Put(dir_.path(), "sub\\deep\\Mixed.txt", "m");  // listed with another letter case
  for (const char* name :
       {"empty.txt", "sub\\over.bin", "missing.txt", "a,b.txt", "sub\\deep\\mixed.txt"}) {
    manifest_.AddFile(name, "");
  }
  manifest_.AddFile("digits.txt", "C:\\Windows\\digits.txt");
  manifest_.ListExternalFiles();
  EXPECT_EQ(Manifest(),
            "<FILE_LIST_START>\r\n"
            "00000000,empty.txt,\r\n"
            "E09E1572,sub\\over.bin,\r\n"
            "06B9DF6F,a,b.txt,\r\n"
#ifdef _WIN32  // the file system ignores letter case, the manifest does not
            "E101F268,sub\\deep\\mixed.txt,\r\n"
#endif
            "CBF43926,digits.txt,C:\\Windows\\digits.txt\r\n"
            "<EXTERNAL_FILES>\r\n"
            "1B0ECF0B,sub\\FileList.csv,\r\n"
            "E101F268,sub\\deep\\Mixed.txt,\r\n");
  EXPECT_FALSE(Settings().writeFailed);
}

}  // namespace
