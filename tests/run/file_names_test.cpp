#include "run/file_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FileNamesTest, UnsafeNamesGetASafeOne) {
  const struct {
    const char *name, *safe;  // the name itself when it is sound
  } kCases[] = {
      {".hidden", ".hidden"},   {"com10.csv", "com10.csv"},  {"console.csv", "console.csv"},
      {"AUX.a.b", "_AUX.a.b"},  {"lpt9 .log", "_lpt9 .log"}, {"CONOUT$", "_CONOUT$"},
      {"COM\xb9", "_COM\xb9"},  {"tab\t.csv.", "tab_.csv_"}, {"C:x<y>|\"*?", "C_x_y_____"},
      {"com0.csv", "com0.csv"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(SafeFileName(c.name), c.safe) << c.name;
    EXPECT_EQ(FileNameProblem(c.name).empty(), std::string(c.name) == c.safe) << c.name;
    EXPECT_EQ(FileNameProblem(c.safe), "") << c.safe;
  }
  EXPECT_EQ(FileNameProblem(std::string(255, 'n')), "");
  EXPECT_EQ(FileNameProblem(std::string(256, 'n')), "it is longer than 255 characters");
  EXPECT_EQ(SafeFileName(std::string(254, 'n') + ". "),
            std::string(254, 'n') + "_");  // cut at the dot
}

TEST(FileNamesTest, DotsResolvedNeverAboveTheRoot) {
  const struct {
    const char *path, *normal;
  } kCases[] = {
      {"C:\\data\\sub\\..\\..\\..\\..\\data\\*.log", "C:\\data\\*.log"},
      {"C:\\..", "C:\\"},
      {"C:\\a\\.\\b\\\\c", "C:\\a\\b\\c"},
      {"C:/a/sub/../x.log", "C:\\a\\x.log"},
      {"C:\\a\\.. \\..  \\b", "C:\\b"},
      {"\\\\srv\\share\\..\\..\\x", "\\\\srv\\share\\x"},
      {"..\\x\\..\\..\\*.ini", "..\\..\\*.ini"},
      {"C:a\\..\\..\\b", "C:..\\b"},
  };
  for (const auto& c : kCases) EXPECT_EQ(NormalisePath(c.path), c.normal) << c.path;
}

}  // namespace
