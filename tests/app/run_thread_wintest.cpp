#include <windows.h>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "sys/folder_walk.h"

// The Save-As dialog answered, cancelled and abandoned, and a left-over
// folder with read-only files, are run from outside by tests/e2e/dialog.sh.

namespace {

TEST(RemoveFolderContents, AnEmptyNameIsNotTheDrivesRoot) {
  testing_support::ScratchFolder scratch("rmf");
  char old[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, old);
  ::SetCurrentDirectoryA(scratch.path().c_str());
  testing_support::WriteFile(scratch / "keep.txt", "x");
  sys::RemoveFolderContents("");  // "\\*.*" would list the current drive's root
  sys::RemoveFolderContents(scratch / "missing");
  ::SetCurrentDirectoryA(old);
  EXPECT_TRUE(testing_support::FileExists(scratch / "keep.txt"));
}

}  // namespace
