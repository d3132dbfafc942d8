#include "collect/file_collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_entries.h"

namespace {

TEST(FileCollectorText, SwitchesAreTakenOutInOrder) {
  const struct {
    const char *input, *spec;
    bool network, subfolders;
    const char* excluded;
  } cases[] = {
      {"*.log /S /N /X:de", "*.log", true, true, "de"},
      // The letters end at the first non-letter; the rest stays.
      {"/x:C1 a.txt", "1 a.txt", false, false, "C"},
      // The lower-case form is taken first, wherever it is.
      {"a/S b/s", "a/S b", false, true, ""},
      // A switch-like text inside a path is taken as the switch.
      {"C:\\data/new\\x.txt", "C:\\dataew\\x.txt", true, false, ""},
  };
  for (const auto& c : cases) {
    std::string spec = c.input;
    const FileSwitches s = TakeFileSwitches(&spec);
    EXPECT_EQ(spec, c.spec) << c.input;
    EXPECT_EQ(s.includeNetworkDrives, c.network) << c.input;
    EXPECT_EQ(s.scanSubfolders, c.subfolders) << c.input;
    EXPECT_EQ(s.excludedDrives, c.excluded) << c.input;
  }
}

TEST(FileCollectorText, CopyTargets) {
  // L = mirrored + 1 + name: at most 99 beyond the root and at most 256.
  EXPECT_TRUE(MirroredDestinationFits(110, 8, 20));
  EXPECT_FALSE(MirroredDestinationFits(111, 8, 20));
  EXPECT_TRUE(MirroredDestinationFits(245, 10, 200));
  EXPECT_FALSE(MirroredDestinationFits(246, 10, 200));
  EXPECT_TRUE(MirroredDestinationFits(10, 1, 100));  // no wrap below the root's length
  EXPECT_EQ(NumberedName("a.b.c", 2), "a.b(2).c");   // before the last "."
  EXPECT_EQ(NumberedName(".profile", 1), ".profile(1)");
  // A source reached without a drive letter is never copied.
  CopyTarget t;
  EXPECT_FALSE(ChooseCopyTarget(
      "C:\\T\\S\\Logs", "C:\\T", "\\S\\Logs", "\\\\srv\\share\\a.txt",
      [](const std::string&) { return false; }, &t));
}

TEST(FileCollectorText, FoundEntryKeepsTheMasksFolderPart) {
  const struct {
    const char *folder, *mask, *name, *path;
  } cases[] = {
      {"C:\\audit\\x", "brtq7\\b.log", "b.log", "C:\\audit\\x\\brtq7\\b.log"},
      {"C:", "a\\b\\*.log", "c.log", "C:\\a\\b\\c.log"},
  };
  for (const auto& c : cases) EXPECT_EQ(FoundEntryPath(c.folder, c.mask, c.name), c.path) << c.mask;
}

}  // namespace
