// The collectors against the real (Wine) system; whole runs are tests/e2e/run.sh's.
#include <windows.h>

#include <gmock/gmock.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "collect/external_command.h"
#include "collect/file_collector.h"
#include "collect/file_version_collector.h"
#include "collect/registry_collector.h"
#include "expr/path_resolver.h"
#include "pack/file_manifest.h"
#include "run/run_settings.h"
#include "script/action_dispatcher.h"
#include "support/beside_program_win.h"
#include "support/log_entries.h"
#include "support/test_support.h"
#include "sys/file_system.h"
#include "sys/handles_win.h"

// Declared for Vista and later only; Wine has it, and only the tests use it.
extern "C" WINADVAPI LONG WINAPI RegDeleteTreeA(HKEY key, LPCSTR subkey);

namespace {

using testing_support::BesideThisProgram;
using testing_support::CapturedLog;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;
using Strings = std::vector<std::string>;
using ::testing::Contains;
using ::testing::IsSupersetOf;
namespace fs = std::filesystem;

// What of EXECUTE the whole runs (tests/e2e/failures.sh) do not reach: a
// tool that cannot start, a command that cannot be resolved.
TEST(ExternalCommandWin, FailuresToStartAreErrors) {
  ScratchFolder folder("exec");
  CapturedLog log;
  PathResolver resolver(SystemPathLookups());
  resolver.SetActivityLog(log.log());
  RunContext context = log.Context();
  context.resolver = &resolver;
  std::string missing = folder / "missing.exe", unresolved = "%BRINDLE_NO_SUCH_VARIABLE%\\x.exe";
  EXPECT_FALSE(ExternalCommand("tool", missing, context, "C:\\exe", folder.path()).Run());
  EXPECT_EQ(log.Entries().back(), "ERROR,Unable to execute command (2)");
  EXPECT_FALSE(ExternalCommand("tool", unresolved, context, "C:\\exe", folder.path()).Run());
  EXPECT_EQ(log.Entries().back(), "ERROR,Unable to parse command \"" + unresolved + "\"");
}

// FILES in a result folder laid out as a run lays it out: the working root
// with its manifest, the script folder "Setup" and the action folder "Logs".
class FileCollectorWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The action's folder is the collector's to make, as in a run.
    fs::create_directories(root_ + "\\Setup");
    fileList_.AppendLine("<FILE_LIST_START>");
  }
  void TearDown() override {
    Settings().Reset();
    sys::ReleaseHeldFolders();
  }
  // One FILES action named Logs; `root` is the working root as the
  // dispatcher hands it over (the same folder, possibly in another form).
  void Collect(const std::string& value, const std::string& root = "") {
    sys::RemoveFile(log_.log()->path());
    ActionRequest request;
    request.context = log_.Context();
    request.context.manifest = &manifest_;
    request.name = "Logs";
    request.value = value;
    request.outputPath = out_;
    request.tempFolder = root.empty() ? root_ : root;
    request.scriptFolder = root_ + "\\Setup";
    FilesAction(request);
  }
  // The manifest's rows as "archive name,source"; check values are the packer's business.
  Strings Listed() const {
    Strings rows = testing_support::FileLines(root_ + "\\FileList.csv");
    rows.erase(rows.begin());
    for (std::string& row : rows) row = row.substr(row.find(',') + 1);
    return rows;
  }
  // "Setup\Logs\D\<path without drive>"
  static std::string Mirrored(const std::string& source) {
    return "Setup\\Logs\\" + source.substr(0, 1) + source.substr(2);
  }
  static std::string Collected(const std::string& source, const std::string& archive) {
    return "INFORMATION,Collected File: " + source + " as " + archive;
  }

  CapturedLog log_;
  ScratchFolder data_{"fcdata"};
  const std::string root_ = data_ / "~BX_TEMP", out_ = root_ + "\\Setup\\Logs";
  LogFile fileList_{root_ + "\\FileList.csv"};
  FileManifest manifest_{&fileList_, root_};
};

// The manifest takes the CRC our copy loop computed: it must be the CRC of
// the copy as it lies on disk, here over whole buffers and a part of one.
TEST_F(FileCollectorWinTest, CopiedMirroredThenFlatOrSkipped) {
  std::string random((5u << 20) / 2, '\0');  // 2.5 MiB
  uint32_t seed = 7;
  for (char& c : random) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  const std::string a = data_ / "a.log";
  WriteFile(a, random);
  const DWORD kSticky = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(::SetFileAttributesA(a.c_str(), kSticky));
  fs::create_directories(data_ / "folder.log");
  WriteFile(data_ / "folder.log\\c.log", "not below");

  Collect(data_ / "*.log");
  EXPECT_EQ(log_.Entries(),
            (Strings{"INFORMATION,Files to be copied to " + out_, Collected(a, Mirrored(a))}));
  EXPECT_EQ(Listed(), Strings{Mirrored(a) + "," + a});
  const std::string copy = root_ + "\\" + Mirrored(a);
  uint32_t crc = 0;
  ASSERT_TRUE(FileCrc(copy, &crc));
  char row[16];
  std::snprintf(row, sizeof row, "%08X,", crc);
  EXPECT_EQ(testing_support::FileLines(root_ + "\\FileList.csv")[1].substr(0, 9), row);
  EXPECT_TRUE(testing_support::SameBytes(ReadFile(copy), random));
  EXPECT_EQ(fs::last_write_time(copy), fs::last_write_time(a));  // the source's time kept
  EXPECT_EQ(::GetFileAttributesA(copy.c_str()) & kSticky, 0u);
  EXPECT_EQ(::GetFileAttributesA(a.c_str()) & kSticky, kSticky);

  // Found again by an action of the same name: flat, then numbered.
  Collect(a);
  Collect(a);
  EXPECT_TRUE(FileExists(out_ + "\\a.log"));
  EXPECT_THAT(log_.Entries(), Contains(Collected(a, "Setup\\Logs\\a(1).log")));
  // A value that cannot be resolved skips the action: not "no matching files".
  Collect("%BRINDLE_NO_SUCH_VARIABLE%\\*.log");
  EXPECT_EQ(log_.Entries().back(), "ERROR,File operation skipped");
}

// A copy the disk cannot hold is taken back: no part of it is left for the
// manifest's sweep to list as collected.
TEST_F(FileCollectorWinTest, CopyOntoAFullDiskLeavesNoPart) {
  if (::GetDriveTypeA("T:\\") != DRIVE_FIXED) GTEST_SKIP() << "no T: drive (needs root)";
  const std::string big = data_ / "big.log", root = "T:\\~BX_TEMP";
  WriteFile(big, std::string(256 * 1024, 'x'));
  fs::create_directories(root + "\\Setup");
  FileCollector collector(root + "\\Setup\\Logs", log_.Context(), big, root, root + "\\Setup",
                          "Logs");
  collector.Run(CopyMode);
  EXPECT_EQ(log_.Entries().back(), "ERROR,Unable to collect file " + big + " (112)");
  EXPECT_FALSE(FileExists(root + "\\" + Mirrored(big)));
  sys::ReleaseHeldFolders();
  fs::remove_all(root);
}

// Windows' CopyFileA refuses a file another program writes to (32), Wine's
// does not: the seam answers as Windows would.
TEST_F(FileCollectorWinTest, FailedCopiesAreRetriedOrErrorsThatLeaveNothing) {
  const std::string live = data_ / "live.log";
  WriteFile(live, "still being written");
  const struct {
    uint32_t plainError;
    bool partial;  // the failed copy leaves a part of the file behind
    std::string entry;
  } cases[] = {
      {ERROR_SHARING_VIOLATION, false,
       "INFORMATION,Collected File (in use): " + live + " as " + Mirrored(live)},
      {ERROR_DISK_FULL, true, "ERROR,Unable to collect file " + live + " (112)"},
      // The mirrored folder, made once per source folder, went meanwhile.
      {ERROR_PATH_NOT_FOUND, false, Collected(live, Mirrored(live))},
  };
  for (const auto& c : cases) {
    sys::ReleaseHeldFolders();
    fs::remove_all(out_);
    sys::RemoveFile(log_.log()->path());
    RunContext context = log_.Context();
    context.manifest = &manifest_;
    FileCollector collector(out_, context, live, root_, root_ + "\\Setup", "Logs");
    int calls = 0;
    collector.SetPlainCopy([&](const std::string& from, const std::string& to, uint32_t* error) {
      if (c.plainError != ERROR_PATH_NOT_FOUND) {
        if (c.partial) WriteFile(to, "stil");
        *error = c.plainError;
        return false;
      }
      if (++calls == 1) {
        const std::string gone = to.substr(0, to.rfind('\\'));
        sys::ReleaseHeldFolders();  // only so that it can go
        fs::remove_all(gone);
        sys::HoldFolder(out_);
        sys::HoldFolder(gone.substr(0, gone.rfind('\\')));
      }
      const bool copied = ::CopyFileA(from.c_str(), to.c_str(), FALSE);
      *error = ::GetLastError();
      return copied;
    });
    collector.Run(CopyMode);
    EXPECT_EQ(log_.Entries(), (Strings{"INFORMATION,Files to be copied to " + out_, c.entry}));
    const bool copied = c.entry.compare(0, 6, "ERROR,") != 0;
    EXPECT_EQ(ReadFile(root_ + "\\" + Mirrored(live)), copied ? "still being written" : "")
        << c.plainError;
  }
  EXPECT_EQ(Listed(), Strings(2, Mirrored(live) + "," + live));
}

// The working root lies inside the searched tree.
TEST_F(FileCollectorWinTest, TreeSkipsTheResultFolderInAnyForm) {
  const std::string top = data_ / "top.log", low = data_ / "deeper\\still\\low.log";
  fs::create_directories(data_ / "deeper\\still");
  WriteFile(top, "top");
  WriteFile(low, "low");
  WriteFile(root_ + "\\Setup\\inside.log", "must not be collected");

  // Files of a folder come before its subfolders.
  const Strings expected = {"DEBUG,Scan Subdirectories",
                            "INFORMATION,Files to be copied to " + out_,
                            Collected(top, Mirrored(top)), Collected(low, Mirrored(low))};
  Collect(data_ / "*.log /s");
  EXPECT_EQ(log_.Entries(), expected);
  // The root in its 8.3 form: found again, flat this time, and nothing else.
  char shortRoot[MAX_PATH];
  ASSERT_NE(::GetShortPathNameA(root_.c_str(), shortRoot, MAX_PATH), 0u);
  ASSERT_NE(std::string(shortRoot), root_);
  Collect(data_ / "*.log /s", shortRoot);
  EXPECT_EQ(log_.Entries().size(), expected.size());
  for (const std::string& row : Listed()) EXPECT_EQ(row.find("inside.log"), std::string::npos);
}

// A bare mask walks every fixed drive but those of the upper-case letters
// after /X: (lower-case ones exclude nothing). C:, the prefix's own, is
// excluded to keep the walk short; the name is unique so that only ours matches.
TEST_F(FileCollectorWinTest, BareMaskWalksEveryFixedDriveButTheExcluded) {
  ASSERT_EQ(::GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_FIXED));
  const std::string inD = data_ / "brt_fc_7f3a9.mark";
  WriteFile(inD, "on D");
  Collect("brt_fc_7f3a9.mark /X:Cde");
  EXPECT_THAT(log_.Entries(),
              IsSupersetOf({"INFORMATION,Skipping C:", "INFORMATION,Searching D:"}));
  EXPECT_EQ(Listed(), Strings{Mirrored(inD) + "," + inD});
}

TEST(FileVersionWin, FileFactsKeepTheWholeSize) {
  ScratchFolder data("fv");
  const std::string big = data / "big.bin";
  sys::FileHandle file(::CreateFileA(big.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, CREATE_ALWAYS, 0, nullptr));
  // Sparse where the file system allows.
  auto resize = [&file](LONGLONG size) {
    LARGE_INTEGER end;
    end.QuadPart = size;
    return ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get());
  };
  ASSERT_TRUE(resize(0x100000000LL + 10));
  SYSTEMTIME local = {2024, 3, 0, 5, 9, 7, 3, 0};
  FILETIME localTime, utc;
  ASSERT_TRUE(::SystemTimeToFileTime(&local, &localTime) &&
              ::LocalFileTimeToFileTime(&localTime, &utc) &&
              ::SetFileTime(file.get(), nullptr, nullptr, &utc));
  FileFacts facts = ReadFileFacts(big);
  EXPECT_EQ(facts.size, 0x100000000u + 10);
  EXPECT_EQ(FormatListTime(facts.modified), "05/03/2024 09:07:03");
  // The largest low part is a size like any other, not a failure.
  ASSERT_TRUE(resize(0xFFFFFFFFLL));
  facts = ReadFileFacts(big);
  EXPECT_TRUE(facts.opened && facts.size == 0xFFFFFFFFu);
}

// This program carries the version resource of collect_wintest.rc; the
// whole run lists brindle.exe (tests/e2e/run.sh).
TEST(FileVersionWin, ListsTheFirstTranslationsStrings) {
  ScratchFolder data("fv");
  CapturedLog log;
  const std::string tool = data / "tool.exe", csv = data / "Versions.csv";
  ASSERT_TRUE(::CopyFileA(BesideThisProgram("collect_tests.exe").c_str(), tool.c_str(), FALSE));
  ActionRequest request;
  request.context = log.Context();
  request.value = data / "*.exe";
  request.outputPath = csv;
  request.tempFolder = data.path();
  FileVersionsAction(request);
  const Strings lines = testing_support::FileLines(csv);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(lines[1].find(",5. 1.")),
            ",5. 1. 2600. 0,5.1,Version. listing test,Brindle Tests,,,SP2");
}

// REGISTRY on keys of this process's own, as other test programs share the prefix.
class RegistryCollectorWinTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, testRoot_.c_str());
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, testRoot_.c_str());
  }
  static void MakeKey(HKEY root, const std::string& path,
                      const std::vector<std::tuple<std::string, DWORD, std::string>>& values = {}) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyA(root, path.c_str(), &key), ERROR_SUCCESS);
    for (const auto& [name, type, data] : values) {
      ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
    }
    ::RegCloseKey(key);
  }

  const std::string tag_ = std::to_string(::GetCurrentProcessId());
  const std::string testRoot_ = "Software\\BrindleRegistryTest" + tag_;
  ScratchFolder scratch_{"reg"};
  CapturedLog log_;
};

// Values and subkeys are made in alphabetical order, which is the order both
// Windows (insertion order) and Wine (sorted) enumerate them in.
TEST_F(RegistryCollectorWinTest, ManualExportWritesTheEditorSyntaxExactly) {
  using namespace std::string_literals;
  const std::string key = testRoot_ + "\\Case", p = "HKEY_CURRENT_USER\\" + key;
  MakeKey(HKEY_CURRENT_USER, key, {{"", REG_SZ, "abc\0"s}, {"Expand", REG_EXPAND_SZ, "%T%\0"s}});
  MakeKey(HKEY_CURRENT_USER, key + "\\A\\Deep");
  // Larger than both buffers start out.
  const std::string longName(300, 'N');
  MakeKey(
      HKEY_CURRENT_USER, key + "\\Big",
      {{"Large", REG_BINARY, std::string(20000, 'Z')}, {longName, REG_DWORD, "\xEF\xBE\xAD\xDE"}});

  std::string output = scratch_ / "Keys.txt";
  RegistryCollector collector(output, log_.Context(), p);
  collector.SetEditorProgram(scratch_ / "missing\\editor.exe");
  EXPECT_TRUE(collector.Run());

  std::string large = "hex:5A";
  for (int i = 1; i < 20000; ++i) large += ",5A";
  EXPECT_EQ(ReadFile(output),
            "[" + p + "]\r\n\"\"=\"abc\"\r\n\"Expand\"=hex(2):25,54,25,00\r\n\r\n" + "[" + p +
                "\\A]\r\n\r\n[" + p + "\\A\\Deep]\r\n\r\n[" + p + "\\Big]\r\n\"Large\"=" + large +
                "\r\n\"" + longName + "\"=dword:DEADBEEF\r\n\r\n");
  EXPECT_THAT(log_.Entries(),
              IsSupersetOf(Strings{"ERROR,Failed to dump the registry [" + p + "] ",
                                   "ERROR,The GetLastError returned 3",
                                   "INFORMATION,Registry chunk dumped to " + output}));

  // A root alone, or a key that is not there: nothing at all.
  for (const std::string& missing : {std::string("HKEY_CURRENT_USER"), p + "\\Missing"}) {
    sys::RemoveFile(log_.log()->path());
    std::string none = scratch_ / "None.txt";
    RegistryCollector(none, log_.Context(), missing).Run();
    EXPECT_EQ(log_.Entries(), Strings{"INFORMATION,No matching keys found"}) << missing;
    EXPECT_FALSE(FileExists(none));
  }
}

// What the editor leaves is checked: nothing written means the manual
// export; an editor past its limit is ended and reported.
TEST_F(RegistryCollectorWinTest, EditorFailuresAreReported) {
  const std::string key = testRoot_ + "\\Plain", p = "HKEY_CURRENT_USER\\" + key;
  MakeKey(HKEY_CURRENT_USER, key, {{"Count", REG_DWORD, std::string("\x01\0\0\0", 4)}});
  ScratchFolder tools("regtool");
  // A program that ends at once with nothing written, as the editor does
  // when it fails.
  const std::string silent = tools / "probe.exe";
  ASSERT_TRUE(::CopyFileA(BesideThisProgram("exec_probe.exe").c_str(), silent.c_str(), TRUE));

  std::string output = scratch_ / "Silent.txt";
  RegistryCollector wroteNothing(output, log_.Context(), p);
  wroteNothing.SetEditorProgram(silent);
  wroteNothing.Run();
  EXPECT_THAT(log_.Entries(),
              Contains("ERROR,The registry editor wrote no export of [" + p + "] to " + output));
  EXPECT_EQ(ReadFile(output), "[" + p + "]\r\n\"Count\"=dword:00000001\r\n\r\n");

  sys::RemoveFile(log_.log()->path());
  std::string late = scratch_ / "Late.txt";
  RegistryCollector timedOut(late, log_.Context(), p);
  timedOut.SetEditorTimeLimit(0);
  timedOut.Run();
  EXPECT_EQ(log_.Entries().back(),
            "ERROR,The registry editor has not returned after 0 minute(s); the export of [" + p +
                "] in " + late + " is incomplete");
}

// One walk of the whole registry, with the system's registry editor: every
// key of exactly the searched name goes to its own numbered file, and
// nothing below a match is searched.
TEST_F(RegistryCollectorWinTest, NameSearchExportsEveryMatchToItsOwnFile) {
  const std::string probe = "BrindleProbe" + tag_;
  const std::string one = testRoot_ + "\\One\\" + probe, two = testRoot_ + "\\Two\\" + probe;
  MakeKey(HKEY_CURRENT_USER, one + "\\" + probe);  // below a match
  MakeKey(HKEY_CURRENT_USER, two);
  MakeKey(HKEY_LOCAL_MACHINE, testRoot_ + "\\" + probe);
  MakeKey(HKEY_CURRENT_USER, testRoot_ + "\\Three\\brindleprobe" + tag_);  // names are exact

  std::string output = scratch_ / "Keys.txt";
  RegistryCollector(output, log_.Context(), probe).Run();
  EXPECT_EQ(output, scratch_ / "Keys(%d).txt");
  EXPECT_EQ(log_.Entries().back(), "INFORMATION,Registry chunk(s) dumped to " + output);

  Strings found;
  const std::string prefix = "DEBUG,Found matching key at ";
  for (const std::string& entry : log_.Entries()) {
    if (entry.compare(0, prefix.size(), prefix) == 0) found.push_back(entry.substr(prefix.size()));
    EXPECT_NE(entry.compare(0, 6, "ERROR,"), 0) << entry;
  }
  // Roots in their order; the current user's keys come again below
  // HKEY_USERS, under the user's SID.
  ASSERT_EQ(found.size(), 5u);
  EXPECT_EQ(Strings(found.begin(), found.begin() + 3),
            (Strings{"HKEY_CURRENT_USER\\" + one, "HKEY_CURRENT_USER\\" + two,
                     "HKEY_LOCAL_MACHINE\\" + testRoot_ + "\\" + probe}));
  EXPECT_EQ(found[3].compare(0, 11, "HKEY_USERS\\"), 0) << found[3];
  EXPECT_TRUE(FileExists(scratch_ / "Keys(5).txt") && !FileExists(scratch_ / "Keys(6).txt"));
}

}  // namespace
