#include <windows.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "collect/file_collector.h"
#include "expr/path_resolver.h"
#include "pack/file_manifest.h"
#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

std::string Crc(const std::string& data) {
  const uLong crc =
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
  char text[16];
  snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(crc));
  return text;
}

void MakeFolders(const std::string& path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  ::CreateDirectoryA(path.c_str(), nullptr);
}

// A result folder laid out as a run lays it out: the working root with its
// activity log and manifest, the script folder "Setup" and an action folder.
class FileCollectorWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    UseRoot(scratch_ / "~BX_TEMP");
  }
  void TearDown() override {
    FileManifest::Detach();
    DestroyResolver();
    Settings().Reset();
  }

  void UseRoot(const std::string& root) {
    root_ = root;
    scriptFolder_ = root_ + "\\Setup";
    out_ = scriptFolder_ + "\\Logs";
    MakeFolders(out_);
    log_ = std::make_unique<ActivityLog>(root_ + "\\Activity Log.csv");
    fileList_ = std::make_unique<LogFile>(root_ + "\\FileList.csv");
    fileList_->AppendLine("<FILE_LIST_START>");
    FileManifest::Attach(fileList_.get(), root_);
    DestroyResolver();
    CreateResolver()->SetActivityLog(log_.get());
  }

  // Runs one FILES action named Logs; `root` is the working root as the
  // dispatcher hands it over (the same folder, possibly in another form).
  void Collect(const std::string& value, const std::string& root = std::string()) {
    RunFilesAction(out_, *log_, value, root.empty() ? root_ : root, scriptFolder_, "Logs");
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    const std::string text = ReadFile(log_->path());
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      entries.push_back(text.substr(start + 20, end - start - 20));
      start = end + 2;
    }
    return entries;
  }
  bool Logged(const std::string& entry) const {
    const std::vector<std::string> e = Entries();
    return std::find(e.begin(), e.end(), entry) != e.end();
  }
  std::string Rows() const {
    const std::string text = ReadFile(root_ + "\\FileList.csv");
    return text.substr(text.find('\n') + 1);
  }
  // "Setup\Logs\D\<path without drive>"
  static std::string Mirrored(const std::string& source) {
    return "Setup\\Logs\\" + source.substr(0, 1) + source.substr(2);
  }
  std::string CollectedEntry(const std::string& source, const std::string& archive) const {
    return "INFORMATION,Collected File: " + source + " as " + archive;
  }

  ScratchFolder scratch_{"fc"};
  ScratchFolder data_{"fcdata"};
  std::string root_, scriptFolder_, out_;
  std::unique_ptr<ActivityLog> log_;
  std::unique_ptr<LogFile> fileList_;
};

TEST_F(FileCollectorWinTest, OneFolderCopiedWithNormalAttributes) {
  const std::string a = data_ / "a.log";
  WriteFile(a, "alpha");
  const DWORD kSticky = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(::SetFileAttributesA(a.c_str(), kSticky));
  WriteFile(data_ / "b.txt", "beta");
  MakeFolders(data_ / "folder.log");
  MakeFolders(data_ / "sub");
  WriteFile(data_ / "sub\\c.log", "gamma");

  Collect(data_ / "*.log");

  EXPECT_EQ(Entries(), (std::vector<std::string>{"INFORMATION,Files to be copied to " + out_,
                                                 CollectedEntry(a, Mirrored(a))}));
  EXPECT_EQ(Rows(), Crc("alpha") + "," + Mirrored(a) + "," + a + "\r\n");
  const std::string copy = root_ + "\\" + Mirrored(a);
  EXPECT_EQ(ReadFile(copy), "alpha");
  EXPECT_EQ(::GetFileAttributesA(copy.c_str()) & kSticky, 0u);
  EXPECT_TRUE(::DeleteFileA(copy.c_str()));  // as the packer must
  EXPECT_EQ(::GetFileAttributesA(a.c_str()) & kSticky, kSticky);
}

TEST_F(FileCollectorWinTest, NothingMatchedNotResolvedOrStopped) {
  Collect(data_ / "*.none");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"INFORMATION,Files to be copied to " + out_,
                                                 "INFORMATION,No matching files found"}));
  ::DeleteFileA(log_->path().c_str());
  ::SetEnvironmentVariableA("BRT_FC_NOT_SET", nullptr);
  Collect("%BRT_FC_NOT_SET%\\*.log /s");
  std::vector<std::string> entries = Entries();
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[3], "DEBUG,Scan All Drives");
  EXPECT_EQ(entries[4], "ERROR,File operation skipped");
  ::DeleteFileA(log_->path().c_str());
  WriteFile(data_ / "s.log", "s");
  Settings().stopRequested = true;
  Collect(data_ / "*.log /s");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"DEBUG,Scan Subdirectories",
                                                 "INFORMATION,Files to be copied to " + out_}));
}

TEST_F(FileCollectorWinTest, TreeSkipsTheResultFolderInAnyForm) {
  // The working root lies inside the searched tree.
  UseRoot(data_ / "Result Folder With A Long Name\\~BX_TEMP");
  WriteFile(data_ / "top.log", "top");
  MakeFolders(data_ / "deeper\\still");
  WriteFile(data_ / "deeper\\still\\low.log", "low");
  WriteFile(scriptFolder_ + "\\inside.log", "must not be collected");

  char shortRoot[MAX_PATH];
  ASSERT_NE(::GetShortPathNameA(root_.c_str(), shortRoot, MAX_PATH), 0u);
  ASSERT_NE(std::string(shortRoot), root_);

  const std::string top = data_ / "top.log";
  const std::string low = data_ / "deeper\\still\\low.log";
  // Files of a folder come before its subfolders.
  Collect(data_ / "*.log /s");
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{
                "DEBUG,Scan Subdirectories", "INFORMATION,Files to be copied to " + out_,
                CollectedEntry(top, Mirrored(top)), CollectedEntry(low, Mirrored(low))}));

  // The root in its 8.3 form, then the tree written in 8.3 form against the
  // long root: each run finds exactly the two files outside it.
  char shortData[MAX_PATH];
  ASSERT_NE(::GetShortPathNameA(data_.path().c_str(), shortData, MAX_PATH), 0u);
  Collect(data_ / "*.log /s", shortRoot);
  Collect(std::string(shortData) + "\\*.log /s");
  size_t collected = 0;
  for (const std::string& e : Entries()) {
    EXPECT_EQ(e.find("inside.log"), std::string::npos) << e;
    if (e.find("Collected File") != std::string::npos) ++collected;
  }
  EXPECT_EQ(collected, 6u);
  EXPECT_EQ(Rows().find("inside.log"), std::string::npos) << Rows();
}

TEST_F(FileCollectorWinTest, ClashesAndLongPathsGoFlat) {
  const std::string log = data_ / "setup.log";
  const std::string profile = data_ / ".profile";
  WriteFile(log, "log");
  WriteFile(profile, "profile");
  for (int i = 0; i < 4; ++i) Collect(log);
  for (int i = 0; i < 3; ++i) Collect(profile);
  EXPECT_EQ(ReadFile(root_ + "\\" + Mirrored(log)), "log");
  for (const char* name : {"setup.log", "setup(1).log", "setup(2).log", ".profile(1)"}) {
    EXPECT_TRUE(FileExists(out_ + "\\" + name)) << name;
  }
  EXPECT_TRUE(Logged(CollectedEntry(log, "Setup\\Logs\\setup(2).log")));
  EXPECT_TRUE(Logged(CollectedEntry(profile, "Setup\\Logs\\.profile(1)")));
  EXPECT_FALSE(FileExists(out_ + "\\.profile(2)"));

  // Over 99 characters beyond the working root is more than the archive keeps.
  const std::string folder = data_ / std::string(70, 'l');
  MakeFolders(folder);
  const std::string source = folder + "\\long.txt";
  WriteFile(source, "long");
  Collect(source);
  EXPECT_EQ(ReadFile(out_ + "\\long.txt"), "long");
  EXPECT_TRUE(Logged(CollectedEntry(source, "Setup\\Logs\\long.txt")));
  EXPECT_NE(Rows().find(Crc("long") + ",Setup\\Logs\\long.txt," + source + "\r\n"),
            std::string::npos);
}

TEST_F(FileCollectorWinTest, FailedCopyIsLoggedButNotListed) {
  // A file where the drive's folder should be: the mirrored path cannot be
  // made, so the copy fails.
  WriteFile(out_ + "\\D", "in the way");
  const std::string source = data_ / "x.log";
  WriteFile(source, "x");
  Collect(source);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"INFORMATION,Files to be copied to " + out_,
                                                 CollectedEntry(source, Mirrored(source)),
                                                 "INFORMATION,No matching files found"}));
  EXPECT_EQ(Rows(), "");
  EXPECT_FALSE(Settings().writeFailed);
}

// The ListMode seam: a subclass supplies the per-file step.
class RecordingLister : public FileCollector {
 public:
  using FileCollector::FileCollector;
  std::vector<std::string> seen;

 protected:
  void ListCurrentFile() override {
    seen.push_back(currentFile());
    CountMatch();
  }
};

TEST_F(FileCollectorWinTest, ListModeWritesTheHeaderAndCallsTheStep) {
  WriteFile(data_ / "v.dll", "v");
  MakeFolders(data_ / "sub");
  WriteFile(data_ / "sub\\w.dll", "w");
  const std::string csv = scriptFolder_ + "\\Versions.csv";
  RecordingLister lister(csv, *log_, data_ / "*.dll /s", root_);
  lister.Run(ListMode);
  EXPECT_EQ(lister.seen, (std::vector<std::string>{data_ / "v.dll", data_ / "sub\\w.dll"}));
  EXPECT_EQ(lister.matchCount(), 2);
  EXPECT_EQ(ReadFile(csv), std::string(kFileVersionListHeader) + "\r\n");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"DEBUG,Scan Subdirectories",
                                                 "INFORMATION,Files to be listed to " + csv}));
  // Without a step of its own nothing is counted.
  FileCollector plain(csv, *log_, data_ / "*.dll", root_);
  plain.Run(ListMode);
  EXPECT_TRUE(Logged("INFORMATION,No matching files found"));
}

// Bare masks walk every fixed drive: C: (the prefix's own) and D:. The name
// is unique so that only our files match; the walks are slow, hence one test.
TEST_F(FileCollectorWinTest, BareMaskWalksEveryFixedDrive) {
  ASSERT_EQ(::GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_FIXED));
  ScratchFolder onC("fcdrive");  // on D: under Wine; its twin goes on C:
  const std::string cFolder = "C:" + onC.path().substr(2);
  MakeFolders(cFolder);
  const std::string inC = cFolder + "\\brt_fc_7f3a9.mark", inD = onC / "brt_fc_7f3a9.mark";
  WriteFile(inC, "on C");
  WriteFile(inD, "on D");
  Collect("brt_fc_7f3a9.mark /x:de");
  ::DeleteFileA(inC.c_str());
  ::RemoveDirectoryA(cFolder.c_str());

  // Lower-case letters exclude nothing: same path, one mirrored copy per drive.
  std::vector<std::string> e = Entries();
  ASSERT_GE(e.size(), 2u);
  EXPECT_EQ(e[0], "DEBUG,Scan All Drives except de");
  EXPECT_TRUE(Logged("INFORMATION,Searching C:") && Logged("INFORMATION,Searching D:"));
  EXPECT_FALSE(Logged("INFORMATION,Skipping D:"));
  EXPECT_EQ(Rows(), Crc("on C") + "," + Mirrored(inC) + "," + inC + "\r\n" + Crc("on D") + "," +
                        Mirrored(inD) + "," + inD + "\r\n");
  EXPECT_EQ(ReadFile(root_ + "\\" + Mirrored(inC)), "on C");

  // Upper-case ones do (C: too here, which spares a second walk of it).
  ::DeleteFileA(log_->path().c_str());
  Collect("brt_fc_7f3a9.mark /X:CDE");
  EXPECT_EQ(Entries()[0], "DEBUG,Scan All Drives except CDE");
  EXPECT_TRUE(Logged("INFORMATION,Skipping C:") && Logged("INFORMATION,Skipping D:"));
  EXPECT_FALSE(Logged("INFORMATION,Searching D:"));
  EXPECT_TRUE(Logged("INFORMATION,No matching files found"));
}

}  // namespace
