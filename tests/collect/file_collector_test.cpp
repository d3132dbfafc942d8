#include "collect/file_collector.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "expr/path_resolver.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchFolder;

TEST(FileSwitchesTest, TakenOutInOrder) {
  struct Case {
    const char* input;
    const char* spec;
    bool network;
    bool subfolders;
    const char* excluded;
  };
  const Case cases[] = {
      {"C:\\Logs\\*.log /s", "C:\\Logs\\*.log", false, true, ""},
      {"*.log /S /N /X:de", "*.log", true, true, "de"},
      {"*.log /x:DE /s", "*.log", false, true, "DE"},
      // The letters end at the first non-letter; the rest stays.
      {"/x:C1 a.txt", "1 a.txt", false, false, "C"},
      // Only trailing white space goes; a leading blank stays.
      {"/x:DE *.tmp", " *.tmp", false, false, "DE"},
      {"C:\\dir\\*.* /s  \t", "C:\\dir\\*.*", false, true, ""},
      // The lower-case form is taken first, wherever it is.
      {"a/S b/s", "a/S b", false, true, ""},
      // A switch-like text inside a path is taken as the switch.
      {"C:\\data/new\\x.txt", "C:\\dataew\\x.txt", true, false, ""},
  };
  for (const Case& c : cases) {
    std::string spec = c.input;
    const FileSwitches s = TakeFileSwitches(&spec);
    EXPECT_EQ(spec, c.spec) << c.input;
    EXPECT_EQ(s.includeNetworkDrives, c.network) << c.input;
    EXPECT_EQ(s.scanSubfolders, c.subfolders) << c.input;
    EXPECT_EQ(s.excludedDrives, c.excluded) << c.input;
  }
}

TEST(FileCollectorNamingTest, ArchivePrefix) {
  EXPECT_EQ(ArchivePrefix("C:\\Temp\\~BX_TEMP\\Setup", "Logs"), "\\Setup\\Logs");
  EXPECT_EQ(ArchivePrefix("Setup", "Logs"), "Setup\\Logs");
  EXPECT_EQ(ArchivePrefix("", "Logs"), "");
  EXPECT_EQ(ArchivePrefix("C:\\Temp\\Setup", ""), "");
}

TEST(FileCollectorNamingTest, DriveStrings) {
  const char list[] = "C:\\\0d:\\\0\0garbage";
  const std::vector<std::string> drives = SplitDriveStrings(list, sizeof list);
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(DriveText(drives[0]), "C:");
  EXPECT_EQ(DriveText(drives[1]), "D:");
  // An entry cut off by the end of the buffer is not taken.
  const char cut[] = {'C', ':', '\\', '\0', 'D', ':', '\\'};
  EXPECT_EQ(SplitDriveStrings(cut, sizeof cut), std::vector<std::string>{"C:\\"});
  EXPECT_EQ(DriveText("e:\\\\"), "E:");
}

TEST(FileCollectorNamingTest, LengthRules) {
  // L = mirrored + 1 + name; at most 99 beyond the root and at most 256.
  EXPECT_TRUE(MirroredDestinationFits(110, 8, 20));    // L 119
  EXPECT_FALSE(MirroredDestinationFits(111, 8, 20));   // L 120
  EXPECT_TRUE(MirroredDestinationFits(245, 10, 200));  // L 256
  EXPECT_FALSE(MirroredDestinationFits(246, 10, 200));
  // A root longer than the path never makes the difference wrap.
  EXPECT_TRUE(MirroredDestinationFits(10, 1, 100));
}

TEST(FileCollectorNamingTest, NumberedNames) {
  EXPECT_EQ(NumberedName("setup.log", 1), "setup(1).log");
  EXPECT_EQ(NumberedName("a.b.c", 2), "a.b(2).c");
  EXPECT_EQ(NumberedName(".profile", 1), ".profile(1)");
  EXPECT_EQ(NumberedName(".bashrc.bak", 3), ".bashrc(3).bak");
  EXPECT_EQ(NumberedName("README", 12), "README(12)");
}

class CopyTargetTest : public ::testing::Test {
 protected:
  bool Choose(const std::string& source, const std::string& prefix = "\\Setup\\Logs") {
    return ChooseCopyTarget(
        kOut, kRoot, prefix, source, [this](const std::string& p) { return taken_.count(p) > 0; },
        &target_);
  }
  const std::string kRoot = "C:\\Temp\\~BX_TEMP";
  const std::string kOut = "C:\\Temp\\~BX_TEMP\\Setup\\Logs";
  std::set<std::string> taken_;
  CopyTarget target_;
};

TEST_F(CopyTargetTest, MirroredWhenFreeAndShort) {
  ASSERT_TRUE(Choose("C:\\Windows\\setup.log"));
  EXPECT_TRUE(target_.mirrored);
  EXPECT_EQ(target_.destination, kOut + "\\C\\Windows\\setup.log");
  EXPECT_EQ(target_.archiveName, "Setup\\Logs\\C\\Windows\\setup.log");
  // Without a prefix the name is the full destination; no drive, no copy.
  ASSERT_TRUE(Choose("C:\\a.txt", ""));
  EXPECT_EQ(target_.archiveName, kOut + "\\C\\a.txt");
  EXPECT_FALSE(Choose("\\\\server\\share\\a.txt"));
}

TEST_F(CopyTargetTest, ClashesGoFlatThenNumbered) {
  taken_ = {kOut + "\\C\\Windows\\setup.log"};
  ASSERT_TRUE(Choose("C:\\Windows\\setup.log"));
  EXPECT_FALSE(target_.mirrored);
  EXPECT_EQ(target_.destination, kOut + "\\setup.log");
  EXPECT_EQ(target_.archiveName, "Setup\\Logs\\setup.log");

  taken_.insert(kOut + "\\setup.log");
  taken_.insert(kOut + "\\setup(1).log");
  ASSERT_TRUE(Choose("C:\\Windows\\setup.log"));
  EXPECT_EQ(target_.destination, kOut + "\\setup(2).log");
  EXPECT_EQ(target_.archiveName, "Setup\\Logs\\setup(2).log");

  taken_ = {kOut + "\\C\\home\\.profile", kOut + "\\.profile"};
  ASSERT_TRUE(Choose("C:\\home\\.profile"));
  EXPECT_EQ(target_.archiveName, "Setup\\Logs\\.profile(1)");
}

TEST(FolderPathTest, PrefixesFromTheDrive) {
  std::vector<std::string> p;
  ASSERT_TRUE(FolderPathPrefixes("C:\\a\\b", &p));
  EXPECT_EQ(p, (std::vector<std::string>{"C:", "C:\\a", "C:\\a\\b"}));
  ASSERT_TRUE(FolderPathPrefixes("\\\\srv\\c$\\x", &p));
  EXPECT_EQ(p, (std::vector<std::string>{"\\\\srv\\c$", "\\\\srv\\c$\\x"}));
  EXPECT_FALSE(FolderPathPrefixes("relative\\x", &p));
  EXPECT_TRUE(p.empty());
}

void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

// The constructor: switches out, variables resolved, DEBUG entries.
class FileCollectorParseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    CreateResolver()->SetActivityLog(&log_);
  }
  void TearDown() override {
    DestroyResolver();
    Settings().Reset();
  }
  // "SEVERITY,message" per entry, the timestamp dropped.
  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    const std::string text = ReadFile(log_.path());
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      entries.push_back(text.substr(start + 20, end - start - 20));
      start = end + 2;
    }
    return entries;
  }
  ScratchFolder dir_{"fcparse"};
  ActivityLog log_{dir_ / "Activity Log.csv"};
};

TEST_F(FileCollectorParseTest, ResolvedThenLogged) {
  SetEnv("BRT_FC_DIR", "C:\\data");
  FileCollector tree("C:\\T\\S\\Logs", log_, "%BRT_FC_DIR%\\*.log /s", "C:\\T", "C:\\T\\S", "Logs");
  EXPECT_EQ(tree.specification(), "C:\\data\\*.log");
  EXPECT_TRUE(tree.resolved() && tree.scanSubfolders() && !tree.scanAllDrives());
  EXPECT_EQ(tree.archivePrefix(), "\\S\\Logs");
  FileCollector drives("out", log_, "*.log /s /x:DE", "C:\\T");
  EXPECT_TRUE(drives.scanAllDrives());
  FileCollector bare("out", log_, "setup.log", "C:\\T");
  EXPECT_TRUE(bare.scanAllDrives() && !bare.scanSubfolders());
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"INFORMATION,Path resolved to C:\\data\\*.log",
                                      "DEBUG,Scan Subdirectories", "DEBUG,Scan Subdirectories",
                                      "DEBUG,Scan All Drives except DE", "DEBUG,Scan All Drives"}));
}

}  // namespace
