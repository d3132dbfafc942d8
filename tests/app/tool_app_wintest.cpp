#include <windows.h>

#include <gtest/gtest.h>

#include "app/tool_app.h"
#include "support/test_support.h"

namespace {

// Restores the current folder a test changes.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    char old[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, old);
    old_ = old;
    ::SetCurrentDirectoryA(folder.c_str());
  }
  ~CurrentFolder() { ::SetCurrentDirectoryA(old_.c_str()); }

 private:
  std::string old_;
};

std::string Made(std::string path) {
  MakeAbsoluteShortPath(path);
  return path;
}

TEST(MakeAbsoluteShortPath, LeavesShortAndAbsolutePathsAlone) {
  EXPECT_EQ(Made(""), "");
  EXPECT_EQ(Made("a"), "a");
  EXPECT_EQ(Made("ab"), "ab");
  EXPECT_EQ(Made("q:\\no\\such\\x.tgz"), "q:\\no\\such\\x.tgz");
}

TEST(MakeAbsoluteShortPath, ResolvesAgainstTheCurrentFolder) {
  testing_support::ScratchFolder dir("abs");
  ::CreateDirectoryA((dir / "Long Folder Name").c_str(), nullptr);
  CurrentFolder cd(dir.path());

  // The folder comes back in short form (Wine hashes short names, so only
  // check that it names the same folder) and the name keeps its form.
  const std::string made = Made("long folder name\\Result File.tgz");
  ASSERT_NE(made, "");
  EXPECT_EQ(made.substr(made.rfind('\\')), "\\Result File.tgz");
  char longForm[MAX_PATH];
  ASSERT_NE(::GetLongPathNameA(made.substr(0, made.rfind('\\')).c_str(), longForm, MAX_PATH), 0u);
  EXPECT_STRCASEEQ(longForm, (dir / "Long Folder Name").c_str());

  EXPECT_EQ(Made("missing\\x.tgz"), "");
}

TEST(MakeAbsoluteShortPath, LeadingBackslashTakesTheCurrentDrive) {
  testing_support::ScratchFolder dir("abs");
  CurrentFolder cd(dir.path());
  const std::string made = Made("\\x.tgz");
  EXPECT_EQ(made.substr(0, 2), dir.path().substr(0, 2));
  EXPECT_EQ(made.substr(made.size() - 6), "\\x.tgz");
}

}  // namespace
