#include "pack/result_packager.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "app/run_settings.h"
#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

#ifdef _WIN32
const char kSep = '\\';
#else
const char kSep = '/';
#endif

TEST(ResultReportTest, KilobytesAndSizeWarning) {
  const struct {
    uint64_t length;
    uint64_t kb;
  } sizes[] = {{0, 1}, {1, 1}, {1023, 1}, {1024, 1}, {2047, 1}, {2048, 2}, {1450000, 1416}};
  for (const auto& s : sizes) EXPECT_EQ(ReportKilobytes(s.length), s.kb) << s.length;

  EXPECT_EQ(ResultReportText("%s: %d KB", "!", "C:\\r.tgz", 1449999), "C:\\r.tgz: 1416 KB");
  EXPECT_EQ(ResultReportText("%s: %d KB", "!", "C:\\r.tgz", 1450000), "C:\\r.tgz: 1416 KB!");
}

TEST(ResultReportTest, FormatTakesOnlyItsTwoValues) {
  const struct {
    const char* format;
    const char* text;
  } cases[] = {
      {"Datei: %s\nGroesse: %d KB", "Datei: C:\\a b.tgz\nGroesse: 7 KB"},
      {"%d then %s", "C:\\a b.tgz then 7"},  // values keep their order
      {"%-20s|%5d", "C:\\a b.tgz|7"},
      {"100%% %s", "100% C:\\a b.tgz"},
      {"%s %d %s %n %x", "C:\\a b.tgz 7 %s %n %x"},
      {"end %", "end %"},
      {"%p%s", "%pC:\\a b.tgz"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatReportMessage(c.format, "C:\\a b.tgz", 7), c.text) << c.format;
  }
}

class ResultPackagerTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().Reset(); }
  void TearDown() override { Settings().Reset(); }
  std::string Path(const std::string& name) const { return dir_.path() + kSep + name; }

  ScratchFolder dir_{"packager"};
};

TEST_F(ResultPackagerTest, ReportOnlyAfterSaveAsChoice) {
  WriteFile(Path("r.tgz"), std::string(3000, 'r'));
  std::string text;
  ASSERT_TRUE(ResultPackager::ReportText(Path("r.tgz"), &text));
  EXPECT_NE(text.find("TOV Tool result file name:  " + Path("r.tgz") + "\n"), std::string::npos);
  EXPECT_NE(text.find("TOV Tool result file size:  2 KB\n\nIMPORTANT:"), std::string::npos);
  EXPECT_EQ(text.find("1.44 MB"), std::string::npos);
  EXPECT_FALSE(ResultPackager::ReportText(Path("missing.tgz"), &text));
  Settings().silent = true;
  EXPECT_FALSE(ResultPackager::ReportText(Path("r.tgz"), &text));
  Settings().silent = false;
  Settings().outFile = Path("r.tgz");
  EXPECT_FALSE(ResultPackager::ReportText(Path("r.tgz"), &text));
}

std::string Gunzip(const std::string& path) {
  std::string data;
  gzFile in = gzopen(path.c_str(), "rb");
  if (in == nullptr) return data;
  char buffer[4096];
  int got;
  while ((got = gzread(in, buffer, sizeof buffer)) > 0) data.append(buffer, got);
  gzclose(in);
  return data;
}

TEST_F(ResultPackagerTest, CompressPacksAndEmptiesTheFolder) {
  const std::string res = Path("res");
  std::filesystem::create_directories(res + kSep + "sub");
  WriteFile(res + kSep + "FileList.csv", "<FILE_LIST_START>\r\n");
  WriteFile(res + kSep + "sub" + kSep + "x.reg", std::string(700, 'x'));
  ASSERT_TRUE(ResultPackager::Compress(res, Path("r.tgz")));
  EXPECT_FALSE(Settings().writeFailed);
  const std::string tar = Gunzip(Path("r.tgz"));
  ASSERT_EQ(tar.size(), 512u + 512 + 512 + 1024 + 1024);
  EXPECT_EQ(tar.substr(0, 13), std::string("FileList.csv", 13));
  EXPECT_EQ(tar.substr(1024, 9), "sub/x.reg");
  EXPECT_EQ(tar.substr(1536, 700), std::string(700, 'x'));
  EXPECT_TRUE(std::filesystem::is_empty(res));
}

TEST_F(ResultPackagerTest, ResultThatCannotBeCreated) {
  const std::string res = Path("res");
  std::filesystem::create_directories(res);
  WriteFile(res + kSep + "a.txt", "a");
  const std::string out = Path("no such folder") + kSep + "r.tgz";
  EXPECT_FALSE(ResultPackager::Compress(res, out));
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_FALSE(FileExists(out));
  EXPECT_TRUE(FileExists(res + kSep + "a.txt"));
}

}  // namespace
