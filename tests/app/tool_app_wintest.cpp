#include <windows.h>

#include <gtest/gtest.h>

#include "app/tool_app.h"
#include "support/test_support.h"

namespace {

std::string Made(std::string path) {
  MakeAbsoluteShortPath(path);
  return path;
}

TEST(MakeAbsoluteShortPath, ResolvesAgainstTheCurrentFolder) {
  for (const char* kept : {"", "a", "ab", "q:\\no\\such\\x.tgz", "\\\\srv\\share\\r.tgz"}) {
    EXPECT_EQ(Made(kept), kept);  // a share's path is absolute already
  }

  testing_support::ScratchFolder dir("abs");
  ::CreateDirectoryA((dir / "Long Folder Name").c_str(), nullptr);
  testing_support::WriteFile(dir / "Long Folder Name\\Result File.tgz", "");
  char old[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, old);
  ::SetCurrentDirectoryA(dir.path().c_str());
  const std::string made = Made("long folder name\\Result File.tgz");
  const std::string rooted = Made("\\x.tgz");
  const std::string missing = Made("missing\\x.tgz");
  ::SetCurrentDirectoryA(old);

  // The folder comes back in short form (Wine hashes short names, so only
  // check that it names the same folder) and the name keeps its form.
  char longForm[MAX_PATH] = {};
  ::GetLongPathNameA(made.c_str(), longForm, MAX_PATH);
  EXPECT_STRCASEEQ(longForm, (dir / "Long Folder Name\\Result File.tgz").c_str());
  EXPECT_NE(made.find("\\Result File.tgz"), std::string::npos) << made;
  const std::string drive = dir.path().substr(0, 2);  // the current one
  EXPECT_TRUE(rooted.rfind(drive, 0) == 0 && rooted.find("\\x.tgz") == rooted.size() - 6) << rooted;
  // Absolute, for the caller to use or drop, never ""; the folder stays long.
  EXPECT_STRCASEEQ(missing.c_str(), (dir / "missing\\x.tgz").c_str());
}

}  // namespace
