#include "pack/scrub_pass.h"

#include <gtest/gtest.h>

#include "pack/file_manifest.h"
#include "pack/pack_test_util.h"
#include "run/text.h"

namespace {

class ScrubPassTest : public PackTest {
 protected:
  std::string At(const std::string& relative) const { return Put(dir_.path(), relative, ""); }
  std::string Read(const std::string& relative) const { return ReadFile(At0(relative)); }
  std::string At0(const std::string& relative) const {
    std::string path = dir_.path();
    for (char c : "\\" + relative) path += c == '\\' ? kSep : c;
    return path;
  }
};

// One folder with every kind of file: what arrives names no one, what is
// left out is said, and the manifest still matches every file.
TEST_F(ScrubPassTest, WritesEachFileAnewAndTheListMatchesThem) {
  const std::string root = dir_.path();
  const std::string wide("\xFF\xFEj\0s\0m\0i\0t\0h\0\r\0\n\0", 18);
  Put(root, "s\\jsmith\\notes.txt", "from jsmith at 10.1.2.3\r\n");
  Put(root, "s\\jsmith.log", "a");
  Put(root, "s\\user0001.log", "b");  // the name the scrubbed one wants
  Put(root, "s\\reg.txt", wide);
  Put(root, "s\\dump.evtx", std::string("ElfFile\0jsmith", 14));
  Put(root, "s\\keep.bin", std::string("MZ\0\0", 4));
  LogFile log(root + "\\Activity Log.csv");
  log.AppendLine("Time,Type,Description");
  log.Write(SeverityInformation, "User: ACME\\jsmith");
  LogFile list(root + "\\FileList.csv");
  FileManifest manifest(&list, root);
  list.AppendLine(kFileListStart);
  manifest.AddFile("s\\jsmith\\notes.txt", "C:\\Users\\jsmith\\notes.txt");
  manifest.AddFile("Activity Log.csv", "");
  manifest.ListExternalFiles();
  list.AppendLine(kFileListEnd);

  auto scrubber = std::make_shared<Scrubber>();
  scrubber->AddName(NameKind::User, "jsmith", {});
  scrubber->AddName(NameKind::Domain, "ACME", {});
  ScrubJob job{root, root + "\\r.tgz", &log, &list, {"KEEP.*"}, nullptr};
  EXPECT_EQ(ScrubResultFolder(job, scrubber), root + "\\r.tgz.map.csv");

  EXPECT_EQ(Read("s\\user0001\\notes.txt"), "from user0001 at 198.18.0.3\r\n");
  EXPECT_EQ(Read("s\\user0001 (2).log") + Read("s\\user0001.log"), "ab");
  EXPECT_EQ(Read("s\\reg.txt"), std::string("\xFF\xFEu\0s\0e\0r\0"
                                            "0\0"
                                            "0\0"
                                            "0\0"
                                            "1\0\r\0\n\0",
                                            22));
  EXPECT_EQ(Read("s\\keep.bin"), std::string("MZ\0\0", 4));
  EXPECT_FALSE(FileExists(At0("s\\dump.evtx")));
  EXPECT_FALSE(FileExists(At0("s\\jsmith")));
  const std::string logText = Read("Activity Log.csv");
  EXPECT_EQ(logText.find("jsmith"), std::string::npos);
  EXPECT_NE(logText.find(",WARNING,File s\\dump.evtx holds binary data that cannot be scrubbed"),
            std::string::npos);
  EXPECT_NE(logText.find(",INFORMATION,Scrubbed: 7 replacements of 3 names in 3 files"),
            std::string::npos);
  EXPECT_NE(Read("r.tgz.map.csv").find("left out,s\\dump.evtx,\r\n"), std::string::npos);

  // Every row names a file that is there, with its check value.
  const std::string rows = Read("FileList.csv");
  EXPECT_EQ(rows.find("jsmith"), std::string::npos);
  EXPECT_EQ(rows.find("dump.evtx"), std::string::npos);
  EXPECT_NE(rows.find(",C:\\Users\\user0001\\notes.txt\r\n"), std::string::npos);
  int checked = 0;
  for (const std::string& row : testing_support::FileLines(At0("FileList.csv"))) {
    if (row.empty() || row[0] == '<') continue;
    const std::string relative = row.substr(9, row.find(',', 9) - 9);
    uint32_t crc = 0;
    ASSERT_TRUE(FileCrc(root + "\\" + relative, &crc)) << row;
    EXPECT_EQ(row.substr(0, 8), CrcText(crc)) << row;
    ++checked;
  }
  EXPECT_EQ(checked, 6);
  log.Write(SeverityInformation, "later: jsmith");
  EXPECT_NE(Read("Activity Log.csv").find("later: user0001"), std::string::npos);
}

TEST(ScrubNamePattern, StarsQuestionMarksAndCase) {
  EXPECT_TRUE(MatchesNamePattern("*.EVTX", "app.evtx"));
  EXPECT_TRUE(MatchesNamePattern("a?c*d", "abcxxd"));
  EXPECT_FALSE(MatchesNamePattern("*.evtx", "app.evtx.txt"));
  EXPECT_FALSE(MatchesNamePattern("a?c", "ac"));
}

}  // namespace
