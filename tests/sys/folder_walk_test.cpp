#include "sys/folder_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/test_support.h"
#include "sys/file_system.h"
#include "sys/links.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ScratchFolder;
using testing_support::WriteFile;
using Strings = std::vector<std::string>;

// A tree that holds links to elsewhere: a folder link to a folder outside
// and a file link to a file there.
TEST(FolderWalkTest, FilesThenLinksThenSubfoldersAndNoLinkIsEntered) {
  ScratchFolder scratch("walk");
  const std::string root = scratch / "root", outside = scratch / "outside";
  fs::create_directories(fs::path(root) / "sub" / "deep");
  fs::create_directories(outside);
  WriteFile(root + "/a.txt", "a");
  WriteFile(root + "/sub/deep/c.txt", "c");
  WriteFile(outside + "/victim.txt", "v");
  std::error_code error;
  fs::create_directory_symlink(outside, fs::path(root) / "link", error);
  if (!error) fs::create_symlink(fs::path(outside) / "victim.txt", fs::path(root) / "f.lnk", error);
  if (error) GTEST_SKIP() << "this system makes no symbolic links";
  Strings files, fileLinks, folderLinks;
  sys::TreeVisitor visitor;
  visitor.file = [&](const std::string&, const std::string& relative) {
    files.push_back(relative);
  };
  visitor.folderLink = [&](const std::string& path) { folderLinks.push_back(path); };
  visitor.fileLink = [&](const std::string&, const std::string& relative) {
    fileLinks.push_back(relative);
  };
  sys::WalkTree(root, "*.*", visitor);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (Strings{"a.txt", "sub\\deep\\c.txt"}));
  EXPECT_EQ(fileLinks, Strings{"f.lnk"});
  EXPECT_EQ(folderLinks, Strings{root + "\\link"});
  EXPECT_TRUE(sys::IsLink(root + "\\f.lnk") && !sys::IsLink(root + "\\a.txt"));
}

// A stop asked for while a folder's files are handed out ends the walk at
// the next file, not at the next folder.
TEST(FolderWalkTest, AStopEndsTheWalkAtTheNextFile) {
  ScratchFolder scratch("walk-stop");
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(scratch / name, "x");
  int seen = 0;
  sys::TreeVisitor visitor;
  visitor.file = [&](const std::string&, const std::string&) { ++seen; };
  visitor.stop = [&] { return seen > 0; };
  sys::WalkTree(scratch.path(), "*.*", visitor);
  EXPECT_EQ(seen, 1);
}

}  // namespace
