#include "run/text.h"

#include <gtest/gtest.h>

namespace {

TEST(TextTest, KeywordsPathsAndPlaceholders) {
  EXPECT_FALSE(EqualsNoCase("\xe4", "\xc4"));  // code-page letters stay exact
  // Only a backslash separates.
  EXPECT_EQ(FolderOf("C:/T/a.txt"), "");
  EXPECT_EQ(NameOf("C:\\T\\"), "");
  // Within the folder only, and never the folder itself.
  EXPECT_EQ(RelativeToFolder("C:\\T\\~BX_TEMPX\\a.csv", "C:\\T\\~BX_TEMP"),
            "C:\\T\\~BX_TEMPX\\a.csv");
  EXPECT_EQ(RelativeToFolder("C:\\T\\", "C:\\T"), "C:\\T\\");
  // A script's action name is never read as a format.
  EXPECT_EQ(FillPlaceholder("%d %s %n %s", "x"), "%d x %n %s");
}

}  // namespace
