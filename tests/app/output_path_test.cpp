#include "app/output_path.h"

#include <gtest/gtest.h>

#include "app/run_settings.h"

namespace {

struct OutFileCase {
  const char* outFile;
  bool caseIdGiven;
  const char* caseId;
  const char* expected;
};

TEST(OutputPathFromOutFile, FoldersCaseIdsAndExtensions) {
  const OutFileCase cases[] = {
      // A folder: the case id names the file, or the fixed name does.
      {"d:\\out\\", false, "", "d:\\out\\Results.tgz"},
      {"d:\\out\\", true, "c42", "d:\\out\\c42.tgz"},
      {"d:\\out\\", true, "", "d:\\out\\.tgz"},
      // A file: the case id and a space go in front of its name.
      {"d:\\out\\res", true, "c42", "d:\\out\\c42 res.tgz"},
      {"d:\\out\\res.tgz", true, "c42", "d:\\out\\c42 res.tgz"},
      {"d:\\out\\res.zip", true, "c42", "d:\\out\\c42 res.zip.tgz"},
      {"d:\\out\\res", true, "", "d:\\out\\ res.tgz"},
      {"res", true, "c42", "c42 res.tgz"},
      // Without a case id only the extension rule applies; ".tgz" anywhere
      // counts, even in the middle or in a folder's name.
      {"d:\\out\\res", false, "", "d:\\out\\res.tgz"},
      {"d:\\out\\res.tgz", false, "", "d:\\out\\res.tgz"},
      {"d:\\out\\res.tgz.old", false, "", "d:\\out\\res.tgz.old"},
      {"d:\\a.tgz\\res", false, "", "d:\\a.tgz\\res"},
      {"d:\\out\\res.TGZ", false, "", "d:\\out\\res.TGZ.tgz"},
      {"ab", false, "", "ab.tgz"},
  };
  for (const OutFileCase& c : cases) {
    EXPECT_EQ(OutputPathFromOutFile(c.outFile, c.caseIdGiven, c.caseId), c.expected)
        << c.outFile << " case=" << c.caseIdGiven << ":" << c.caseId;
  }
}

TEST(SaveAsResultPath, AppendsTgzOnlyForAnotherTypedExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"c:\\x\\results.tgz", "c:\\x\\results.tgz"},
      {"c:\\x\\results.TGZ", "c:\\x\\results.TGZ"},
      {"c:\\x\\results.zip", "c:\\x\\results.zip.tgz"},
      {"c:\\x\\results.tgz.zip", "c:\\x\\results.tgz.zip.tgz"},
      {"c:\\x.y\\results", "c:\\x.y\\results"},  // a dot in the folder is no extension
      {"c:\\x\\results", "c:\\x\\results"},
      {"", ""},  // cancelled
  };
  for (const auto& c : cases) EXPECT_EQ(SaveAsResultPath(c.first), c.second) << c.first;
}

TEST(FileDialogFilter, AlwaysEndsInTwoNuls) {
  using std::string;
  EXPECT_EQ(FileDialogFilter("Tool Results (*.tgz)|*.tgz||"),
            string("Tool Results (*.tgz)\0*.tgz\0\0", 28));
  EXPECT_EQ(FileDialogFilter("A|*.a"), string("A\0*.a\0\0", 7));
  EXPECT_EQ(FileDialogFilter(""), string("\0\0", 2));
}

class ChooseOutputPathTest : public ::testing::Test {
 protected:
  void SetUp() override { settings.Reset(); }
  std::string Choose() {
    return ChooseOutputPath(settings, "c:\\tool", [this] {
      ++asked;
      return answer;
    });
  }
  RunSettings settings;
  std::string answer;
  int asked = 0;
};

TEST_F(ChooseOutputPathTest, OutFileWinsAndIsRewritten) {
  settings.outFile = "d:\\out\\res";
  settings.caseIdGiven = true;
  settings.caseId = "c42";
  settings.silent = true;
  EXPECT_EQ(Choose(), "d:\\out\\c42 res.tgz");
  EXPECT_EQ(settings.outFile, "d:\\out\\c42 res.tgz");
  EXPECT_TRUE(settings.silent);
  EXPECT_EQ(asked, 0);
}

TEST_F(ChooseOutputPathTest, CaseIdPutsTheResultBesideTheExecutable) {
  settings.caseIdGiven = true;
  settings.caseId = "c42";
  settings.silent = true;
  EXPECT_EQ(Choose(), "c:\\tool\\c42.tgz");
  EXPECT_FALSE(settings.silent);
  EXPECT_EQ(asked, 0);

  settings.caseId = "";
  EXPECT_EQ(Choose(), "c:\\tool\\.tgz");
}

TEST_F(ChooseOutputPathTest, OtherwiseAsksAndNeverRunsSilently) {
  settings.silent = true;
  answer = "c:\\x\\mine.zip";
  EXPECT_EQ(Choose(), "c:\\x\\mine.zip.tgz");
  EXPECT_FALSE(settings.silent);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(settings.outFile, "");

  answer = "";  // cancelled
  EXPECT_EQ(Choose(), "");
}

}  // namespace
