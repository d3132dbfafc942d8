#include "inspect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/run_settings.h"
#include "pack/file_manifest.h"
#include "pack/result_packager.h"
#include "script/signature.h"
#include "support/test_support.h"

namespace {

using testing_support::ScratchFolder;
using testing_support::WriteFile;

#ifdef _WIN32
const char kSep = '\\';
#else
const char kSep = '/';
#endif

class InspectTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().Reset(); }
  void TearDown() override {
    FileManifest::Detach();
    Settings().Reset();
  }
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return tovkit::Inspect(args, out_, err_);
  }

  ScratchFolder dir_{"inspect"};
  std::ostringstream out_, err_;
};

// The whole end of a run: manifest rows, the sweep, signing, packing; then
// inspect finds the result clean.
TEST_F(InspectTest, ResultOfARunIsClean) {
  const std::string res = dir_.path() + kSep + "res";
  std::filesystem::create_directories(res + kSep + "Script" + kSep + "logs");
  WriteFile(res + kSep + "Activity Log.csv", "Time,Type,Description\r\n");
  WriteFile(res + kSep + "Script" + kSep + "logs" + kSep + "app.log", std::string(5000, 'l'));
  WriteFile(res + kSep + "Script" + kSep + "tool,out.txt", "external");
  LogFile fileList(res + kSep + "FileList.csv");
  fileList.AppendLine("<FILE_LIST_START>");
  FileManifest::Attach(&fileList, res);
  FileManifest::AddFile("Script\\logs\\app.log", "C:\\app\\app.log");
  FileManifest::AddFile("Activity Log.csv", "");
  FileManifest::ListExternalFiles();
  fileList.AppendLine("<FILE_LIST_END>");
  std::string text;
  ASSERT_TRUE(ReadTextFile(&text, fileList.path()));
  ASSERT_TRUE(InsertSignature(&text, TextCrc(text)));
  ASSERT_TRUE(WriteTextFile(text, fileList.path()));
  const std::string result = dir_.path() + kSep + "result.tgz";
  ASSERT_TRUE(ResultPackager::Compress(res, result));

  EXPECT_EQ(Run({result}), 0) << out_.str();
  EXPECT_EQ(out_.str(), result +
                            ": clean: 4 files, every listed file present with its CRC-32, "
                            "FileList.csv signature valid\n");
}

TEST_F(InspectTest, UnusableInput) {
  EXPECT_EQ(Run({}), 2);
  EXPECT_NE(err_.str().find("usage: tovkit inspect"), std::string::npos);
  EXPECT_EQ(Run({dir_.path() + kSep + "missing.tgz"}), 2);
  const std::string junk = dir_.path() + kSep + "junk.tgz";
  WriteFile(junk, "PK\3\4 not a tgz");
  EXPECT_EQ(Run({junk}), 1);
  EXPECT_EQ(out_.str(), junk +
                            ": NOT CLEAN: damaged archive (not a gzip stream), no FileList.csv, "
                            "0 missing, 0 changed, 0 extra, 0 other problems\n");
}

}  // namespace
