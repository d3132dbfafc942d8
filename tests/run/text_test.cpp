#include "run/text.h"

#include <gtest/gtest.h>

namespace {

TEST(TextTest, KeywordsComparedAsciiOnly) {
  EXPECT_TRUE(EqualsNoCase("Process_List", "PROCESS_LIST"));
  EXPECT_FALSE(EqualsNoCase("FILES", "FILESS"));
  EXPECT_FALSE(EqualsNoCase("\xe4", "\xc4"));  // code-page letters stay exact
  EXPECT_EQ(UpperAscii("registry\xe4"), "REGISTRY\xe4");
  EXPECT_EQ(LowerAscii("A.TGZ"), "a.tgz");
}

TEST(TextTest, PathsSplitAtTheLastBackslashOnly) {
  const struct {
    const char* path;
    const char* folder;
    const char* name;
  } kCases[] = {
      {"C:\\T\\a.txt", "C:\\T", "a.txt"}, {"a.txt", "", "a.txt"},
      {"C:/T/a.txt", "", "C:/T/a.txt"},   {"\\", "", ""},
      {"C:\\T\\", "C:\\T", ""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(NameOf(c.path), c.name) << c.path;
  }
  EXPECT_EQ(JoinPath("", "a"), "a");
  EXPECT_EQ(JoinPath("C:\\T", "a"), "C:\\T\\a");
  EXPECT_EQ(FileTitle("basics.tov"), "basics");
  EXPECT_EQ(FileTitle("a.b.tov"), "a.b");
  EXPECT_EQ(FileTitle("plain"), "plain");
  EXPECT_EQ(RelativeToFolder("C:\\T\\~BX_TEMP\\s\\a.csv", "C:\\T\\~BX_TEMP"), "s\\a.csv");
  EXPECT_EQ(RelativeToFolder("C:\\T\\~BX_TEMPX\\a.csv", "C:\\T\\~BX_TEMP"),
            "C:\\T\\~BX_TEMPX\\a.csv");
  EXPECT_EQ(RelativeToFolder("C:\\T\\", "C:\\T"), "C:\\T\\");
}

TEST(TextTest, PlaceholderIsNeverAFormatAndCrcTextIsFixedWidth) {
  EXPECT_EQ(FillPlaceholder("Copying files [%s]", "Logs"), "Copying files [Logs]");
  EXPECT_EQ(FillPlaceholder("%d %s %n %s", "x"), "%d x %n %s");
  EXPECT_EQ(CrcText(0), "00000000");
  EXPECT_EQ(CrcText(0xCBF43926u), "CBF43926");
}

}  // namespace
