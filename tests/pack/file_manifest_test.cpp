#include "pack/file_manifest.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <memory>

#include "app/run_settings.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

struct ReadBackCase {
  const char* text;
  size_t rows;
  std::vector<std::string> listed;
};

TEST(ManifestReadBackTest, Table) {
  const ReadBackCase cases[] = {
      {"", 0, {}},
      {"<FILE_LIST_START>", 0, {}},
      {"<FILE_LIST_START>\r\n<EXTERNAL_FILES>\r\n", 0, {}},
      {"<FILE_LIST_START>\r\n00000000,a.txt,\r\n<EXTERNAL_FILES>\r\n", 1, {"a.txt"}},
      // Source path after the second comma is not part of the listed path.
      {"<FILE_LIST_START>\r\n12345678,sub\\b.log,C:\\x\\b.log\r\n", 1, {"sub\\b.log"}},
      // A comma inside the path cuts it: the file will be listed again.
      {"<FILE_LIST_START>\r\nAAAAAAAA,a,b.txt,\r\n", 1, {"a"}},
      // Rows after a marker are not read back.
      {"<FILE_LIST_START>\r\n1,x,\r\n<EXTERNAL_FILES>\r\n2,y,\r\n", 1, {"x"}},
      // A line without comma is not a row; the last line needs no line end.
      {"<FILE_LIST_START>\r\nnocomma\r\n3,z", 1, {"z"}},
      // Bare LF line ends still separate lines.
      {"S\nF,p1,\nF,p2,\n<END\n", 2, {"p1", "p2"}},
      // An empty path is a row too.
      {"S\r\nF,,\r\n", 1, {""}},
  };
  for (const ReadBackCase& c : cases) {
    std::unordered_set<std::string> listed;
    EXPECT_EQ(ReadBackListedPaths(c.text, &listed), c.rows) << c.text;
    EXPECT_EQ(listed, std::unordered_set<std::string>(c.listed.begin(), c.listed.end())) << c.text;
  }
}

#ifdef _WIN32
const char kSep[] = "\\";
#else
const char kSep[] = "/";
#endif

class FileManifestTest : public ::testing::Test {
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
  std::string Manifest() const { return ReadFile(dir_ / "FileList.csv"); }
  void Put(const std::string& relative, const std::string& data) {
    std::string path = dir_.path();
    for (char c : kSep + relative) path += c == '\\' ? kSep[0] : c;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, data);
  }

  ScratchFolder dir_{"manifest"};
  std::unique_ptr<LogFile> fileList_;
};

TEST_F(FileManifestTest, RowsCarryCrcPathAndSource) {
  Put("empty.txt", "");
  Put("digits.txt", "123456789");
  // One byte either side of the read size checks the piecewise CRC.
  const std::string big(16384 * 2 + 1, 'q');
  Put("sub\\exact.bin", big.substr(0, 16384));
  Put("sub\\over.bin", big);
  FileManifest::AddFile("empty.txt", "");
  FileManifest::AddFile("digits.txt", "C:\\Windows\\digits.txt");
  FileManifest::AddFile("sub\\exact.bin", "");
  FileManifest::AddFile("sub\\over.bin", "");
  FileManifest::AddFile("missing.txt", "");
  char expect[64];
  std::snprintf(expect, sizeof expect, "%08X,sub\\exact.bin,\r\n%08X,sub\\over.bin,\r\n",
                static_cast<unsigned>(crc32(0, reinterpret_cast<const Bytef*>(big.data()), 16384)),
                static_cast<unsigned>(crc32(0, reinterpret_cast<const Bytef*>(big.data()),
                                            static_cast<uInt>(big.size()))));
  EXPECT_EQ(Manifest(), std::string("<FILE_LIST_START>\r\n"
                                    "00000000,empty.txt,\r\n"
                                    "CBF43926,digits.txt,C:\\Windows\\digits.txt\r\n") +
                            expect);
  EXPECT_FALSE(Settings().writeFailed);
}

TEST_F(FileManifestTest, SweepListsOnlyWhatNobodyListed) {
  Put("Activity Log.csv", "log");
  Put("listed.txt", "a");
  Put("Mixed.txt", "m");          // listed below with another letter case
  Put("a,b.txt", "c");            // listed, but read back as "a"
  Put("sub\\FileList.csv", "s");  // not the manifest itself
  Put("sub\\deep\\tool.out", "t");
  FileManifest::AddFile("listed.txt", "");
  FileManifest::AddFile("mixed.txt", "");  // no such name on a case-sensitive disk
  FileManifest::AddFile("a,b.txt", "");
  FileManifest::AddFile("Activity Log.csv", "");
  FileManifest::ListExternalFiles();

  const std::string text = Manifest();
  const size_t marker = text.find("<EXTERNAL_FILES>\r\n");
  ASSERT_NE(marker, std::string::npos);
  const std::string external = text.substr(marker);
  EXPECT_EQ(external.find("listed.txt"), std::string::npos);
  EXPECT_EQ(external.find("Activity Log.csv"), std::string::npos);
  EXPECT_EQ(external.find(",FileList.csv,"), std::string::npos);
  EXPECT_NE(external.find(",a,b.txt,\r\n"), std::string::npos);
  EXPECT_NE(external.find(",Mixed.txt,\r\n"), std::string::npos);
  EXPECT_NE(external.find(",sub\\FileList.csv,\r\n"), std::string::npos);
  EXPECT_NE(external.find(",sub\\deep\\tool.out,\r\n"), std::string::npos);
  // Files of a folder come before those of its subfolders.
  EXPECT_LT(external.find("sub\\FileList.csv"), external.find("sub\\deep\\tool.out"));
  EXPECT_LT(external.find("Mixed.txt"), external.find("sub\\"));
}

TEST_F(FileManifestTest, NoListedRowMeansNoSweep) {
  Put("orphan.txt", "o");
  FileManifest::ListExternalFiles();
  EXPECT_EQ(Manifest(), "<FILE_LIST_START>\r\n<EXTERNAL_FILES>\r\n");
}

TEST_F(FileManifestTest, NothingHappensWhenDetached) {
  Put("a.txt", "a");
  FileManifest::Detach();
  FileManifest::AddFile("a.txt", "");
  FileManifest::ListExternalFiles();
  EXPECT_EQ(Manifest(), "<FILE_LIST_START>\r\n");
}

}  // namespace
