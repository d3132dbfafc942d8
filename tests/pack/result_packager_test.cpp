#include "pack/result_packager.h"

#include <gtest/gtest.h>

#include "pack/pack_test_util.h"

namespace {

// KB rounded down but at least 1, the warning from 1,450,000 bytes on; a
// translated format gets the same two values in order and can never make the
// formatting read more.
TEST(ResultReportTest, SizeAndFormat) {
  const struct {
    const char* format;
    uint64_t length;
    const char* text;
  } cases[] = {
      {"%s: %d KB", 1023, "C:\\r.tgz: 1 KB"},
      {"%s: %d KB", 1449999, "C:\\r.tgz: 1416 KB"},
      {"%s: %d KB", 1450000, "C:\\r.tgz: 1416 KB!"},
      {"%d then %s", 7168, "C:\\r.tgz then 7"},
      {"100%% %s", 7168, "100% C:\\r.tgz"},
      {"%s %d %s %n %x", 7168, "C:\\r.tgz 7 %s %n %x"},
      {"%p%s end %", 7168, "%pC:\\r.tgz end %"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResultReportText(c.format, "!", "C:\\r.tgz", c.length), c.text) << c.format;
  }
}

class ResultPackagerTest : public PackTest {
 protected:
  std::string res_ = dir_ / "res", out_ = dir_ / "r.tgz";
};

TEST_F(ResultPackagerTest, ReportOnlyAfterSaveAsChoice) {
  testing_support::WriteFile(out_, std::string(3000, 'r'));
  std::string text;
  EXPECT_TRUE(ResultPackager::ReportText(out_, &text));
  EXPECT_FALSE(ResultPackager::ReportText(dir_ / "missing.tgz", &text));
  Settings().silent = true;
  EXPECT_FALSE(ResultPackager::ReportText(out_, &text));
  Settings().silent = false;
  Settings().outFile = out_;
  EXPECT_FALSE(ResultPackager::ReportText(out_, &text));
}

// A result that cannot be created leaves no file and the folder as it was;
// a stop while packing leaves a closed but partial result, never a complete one.
TEST_F(ResultPackagerTest, FailedOrStoppedPackingKeepsTheFiles) {
  const std::string reg = Put(res_, "sub\\x.reg", std::string(700, 'x'));
  const std::string badOut = dir_ / "no such folder" + kSep + "r.tgz";
  EXPECT_FALSE(ResultPackager::Compress(res_, badOut));
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_FALSE(FileExists(badOut));
  EXPECT_TRUE(FileExists(reg));
  Settings().Reset();
  Settings().stopRequested = true;
  EXPECT_FALSE(ResultPackager::Compress(res_, out_));
  EXPECT_FALSE(Settings().writeFailed);
  EXPECT_TRUE(FileExists(reg));
  EXPECT_TRUE(FileExists(out_));
}

}  // namespace
