// The run pass's order and failure paths, natively: the POSIX stand-ins do
// the file work, a recording RunSystem answers the rest.
#include "app/run_driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "result_inspector.h"
#include "run/run_settings.h"
#include "run/signature.h"
#include "run/text.h"
#include "support/test_support.h"
#include "sys/file_system.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::Signed;
using testing_support::WriteFile;
using Strings = std::vector<std::string>;

// The system's answers, with every call noted in order.
class RecordingRun : public RunSystem {
 public:
  std::string ExecutableFolder() override { return exeFolder; }
  std::vector<std::string> FindScripts(const std::string& pattern) override {
    calls.push_back("find " + Last(pattern));
    return SystemRun().FindScripts(pattern);
  }
  bool EnterApartment() override {
    calls.push_back("enter");
    return apartment;
  }
  void LeaveApartment() override { calls.push_back("leave"); }
  std::string ReadScript(const std::string& path, std::string* bytes) override {
    calls.push_back("read " + Last(path));
    if (stopOnRead) Settings().stopRequested = true;
    const std::string read = SystemRun().ReadScript(path, bytes);
    // The file changes on disk right after it was read: what runs must be
    // what was checked.
    if (!swapAfterRead.empty() && read.empty()) {
      testing_support::WriteFile(Native(path), swapAfterRead);
    }
    return read;
  }
  void ShowMessage(const std::string& text, const std::string&) override {
    calls.push_back("box " + text.substr(0, text.find('\n')));
    lastBox = text;
  }

  static std::string Last(const std::string& path) { return path.substr(path.rfind('\\') + 1); }
  static std::string Native(std::string path) {
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    return path;
  }

  std::string exeFolder;
  bool apartment = true;
  std::string swapAfterRead;
  bool stopOnRead = false;
  Strings calls;
  std::string lastBox;
};

class RunDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    Settings().silent = true;
    system.exeFolder = dir.path();
    Settings().xmlFile = dir.path() + "\\*.tov";
    Settings().outFile = dir.path() + "\\r.tgz";
  }
  void TearDown() override { Settings().Reset(); }

  int32_t Run(int32_t pass) {
    ScriptRunner runner(pass == RunPassCount ? "*:?*" : "", system, CollectorTable());
    if (pass == RunPassRun) runner.ClearLeftovers();  // as the run thread does
    return runner.Run(pass);
  }
  // The result's members by name.
  std::map<std::string, std::string> Result() {
    std::map<std::string, std::string> members;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen((dir / "r.tgz").c_str(), "rb"));
    if (!file) return members;
    GzipReader gzip(FileSource(file.get()));
    TarReader tar(&gzip);
    TarEntry entry;
    while (tar.Next(&entry) == TarReader::kEntry) {
      std::string& data = members[entry.name];
      tar.ReadData([&data](const unsigned char* bytes, size_t size) {
        data.append(reinterpret_cast<const char*>(bytes), size);
      });
    }
    return members;
  }

  ScratchFolder dir{"driver"};
  RecordingRun system;
};

TEST_F(RunDriverTest, EachScriptIsReadOnceCopiedAndThenTheResultIsPacked) {
  const std::string good = Signed("<Good><DEBUG a=\"1\" b=2/></Good>");
  std::string edited = good;
  edited.replace(edited.find('1'), 1, "2");
  WriteFile(dir / "good.tov", good);
  WriteFile(dir / "edited.tov", edited);
#ifndef _WIN32
  // A pipe is no script: its open would wait for a writer.
  ASSERT_EQ(::mkfifo((dir.path() + "/pipe.tov").c_str(), 0600), 0);
#endif
  Settings().caseIdGiven = true;
  Settings().caseId = "c42";
  Settings().ignoredArguments = {"/outfle=x"};
  // Swapped for an unsigned script the moment it was read.
  system.swapAfterRead = "<Evil><DEBUG b=\"1\"/></Evil>";
  EXPECT_EQ(Run(RunPassRun), 0);
  EXPECT_FALSE(Settings().writeFailed);
  EXPECT_FALSE(FileExists(dir / "~BX_TEMP")) << "an emptied folder is removed";

  Strings expected = {"find *.tov", "enter"};
  Strings found = SystemRun().FindScripts(dir.path() + "\\*.tov");
  for (const std::string& name : found) expected.push_back("read " + name);
  expected.push_back("leave");
  EXPECT_EQ(system.calls, expected);

  auto members = Result();
  const std::string& log = members["Activity Log.csv"];
  EXPECT_EQ(log.rfind("TOV TOOL CASE ID = c42\r\n\r\nTime,Type,Description\r\n", 0), 0u) << log;
  EXPECT_EQ(log.find(",INFORMATION,Tool version: "), log.find("\r\n", 30) + 21) << "first entry";
  for (const char* error : {",ERROR,Unknown switch /outfle=x ignored\r\n",
                            ",ERROR,XML file good.tov: Attribute b of <DEBUG> on line 1 was "
                            "dropped: its value is not in quotes\r\n"}) {
    EXPECT_NE(log.find(error), std::string::npos) << error;
  }
  EXPECT_NE(log.find(",DEBUG,XML Name: a\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("XML Name: b"), std::string::npos) << "only the checked bytes run";
  EXPECT_NE(log.find(",ERROR,XML file edited.tov does not have a valid signiture and will not "
                     "be processed.\r\n"),
            std::string::npos);
  EXPECT_EQ(members["good.tov"], good);  // the copy was taken before the swap
  EXPECT_EQ(members["edited.tov"], edited);
#ifndef _WIN32
  EXPECT_NE(log.find(",ERROR,XML file pipe.tov is not a regular file and will not be processed."),
            std::string::npos);
  EXPECT_EQ(members.count("pipe.tov"), 0u);
#endif
  const std::string& list = members["FileList.csv"];
  EXPECT_TRUE(CheckSignature(list)) << list;
  EXPECT_NE(list.find(",edited.tov,\r\n"), std::string::npos) << "a refused script is kept";
}

TEST_F(RunDriverTest, CountingReadsOnlyAndWritesNothing) {
  WriteFile(dir / "one.tov", Signed("<a><FILES x=\"y\"/><REGISTRY k=\"v\"/></a>"));
  EXPECT_EQ(Run(RunPassCount), 10);
  EXPECT_EQ(system.calls, (Strings{"find *.tov", "enter", "read one.tov", "leave"}));
  EXPECT_FALSE(FileExists(dir / "~BX_TEMP"));
  EXPECT_FALSE(FileExists(dir / "r.tgz"));
}

TEST_F(RunDriverTest, WithoutScriptsOrApartmentTheEndPhaseStillPacks) {
  const struct {
    bool script, apartment;
    Strings calls;
  } kCases[] = {
      {false, true, {"find *.tov"}},
      {true, false, {"find *.tov", "enter"}},
  };
  for (const auto& c : kCases) {
    if (c.script) WriteFile(dir / "one.tov", Signed("<a></a>"));
    system.calls.clear();
    system.apartment = c.apartment;
    Run(RunPassRun);
    EXPECT_EQ(system.calls, c.calls);
    auto members = Result();
    const std::string& log = members["Activity Log.csv"];
    EXPECT_EQ(log.rfind("Time,Type,Description\r\n", 0), 0u) << log;
    EXPECT_TRUE(CheckSignature(members["FileList.csv"]));
    EXPECT_EQ(members.count("one.tov"), 0u) << "no script was processed";
  }
}

TEST_F(RunDriverTest, StopsAndWriteFailuresEndTheRunAsTheyShould) {
  WriteFile(dir / "one.tov", Signed("<a></a>"));
  Settings().stopRequested = true;
  Run(RunPassRun);
  // A stopped run keeps its partial folder and writes no result.
  EXPECT_FALSE(FileExists(dir / "r.tgz"));
  const std::string log = ReadFile(dir / "~BX_TEMP/Activity Log.csv");
  EXPECT_NE(log.find(",INFORMATION,User requested termination\r\n"), std::string::npos) << log;
  EXPECT_EQ(system.calls.back(), "leave") << "no message box";

  // A result folder that cannot be made: the box, unless silent.
  Settings().Reset();
  Settings().xmlFile = dir.path() + "\\*.tov";
  Settings().outFile = dir.path() + "\\no\\such\\r.tgz";
  for (const bool silent : {true, false}) {
    Settings().silent = silent;
    system.calls.clear();
    Run(RunPassRun);
    EXPECT_TRUE(Settings().writeFailed && Settings().stopRequested);
    EXPECT_EQ(system.calls.back() == "box Check that destination directory", !silent);
  }
}

TEST_F(RunDriverTest, NoScriptAfterAStopAndNoneNamedLikeTheRunsOwnFiles) {
  WriteFile(dir / "a.tov", Signed("<a></a>"));
  WriteFile(dir / "b.tov", Signed("<b></b>"));
  system.stopOnRead = true;
  Run(RunPassRun);
  EXPECT_EQ(system.calls.size(), 4u) << "find, enter, one read, leave";
  EXPECT_EQ(system.calls.back(), "leave");

  Settings().Reset();
  Settings().silent = true;
  Settings().xmlFile = dir.path() + "\\FileList.csv";
  Settings().outFile = dir.path() + "\\r.tgz";
  WriteFile(dir / "FileList.csv", Signed("<x><DEBUG a=\"1\"/></x>"));
  system.stopOnRead = false;
  system.calls.clear();
  Run(RunPassRun);
  EXPECT_EQ(system.calls, (Strings{"find FileList.csv", "enter", "leave"}));
  auto members = Result();
  EXPECT_TRUE(CheckSignature(members["FileList.csv"])) << "the run's own list, not the script";
  EXPECT_NE(members["Activity Log.csv"].find(",ERROR,XML file FileList.csv has the name of a file "
                                             "of the result and will not be processed.\r\n"),
            std::string::npos);
}

// Many machines writing into one share folder: a folder held by a live run
// is left alone; this run takes the next free one, and frees it at its end.
TEST_F(RunDriverTest, ALiveRunsFolderIsNeverShared) {
  sys::FileLock live;
  ASSERT_TRUE(live.Take(dir.path() + "\\~BX_TEMP.lock"));
  WriteFile(dir / "one.tov", Signed("<a></a>"));
  {
    ScriptRunner runner("", system, CollectorTable());
    ASSERT_TRUE(runner.ClaimTempFolder());
    EXPECT_EQ(Settings().tempFolder, dir.path() + "\\~BX_TEMP.1");
    ScriptRunner other("", system, CollectorTable());
    ASSERT_TRUE(other.ClaimTempFolder());
    EXPECT_EQ(other.tempFolder, dir.path() + "\\~BX_TEMP.2");
    runner.Run(RunPassRun);
  }
  EXPECT_TRUE(CheckSignature(Result()["FileList.csv"]));
  EXPECT_FALSE(FileExists(dir / "~BX_TEMP.1"));
  EXPECT_FALSE(FileExists(dir / "~BX_TEMP.1.lock")) << "the mark goes with the run";
}

// A write that failed during the run, and a file that cannot be packed: the
// result still holds everything else, the user learns both that something
// failed and where the result is, and the log left beside the unpacked file
// names it.
TEST_F(RunDriverTest, AfterAFailureEverythingPackableIsPackedAndTheResultNamed) {
#ifdef _WIN32
  GTEST_SKIP() << "the unopenable file is a POSIX socket";
#else
  WriteFile(dir / "one.tov", Signed("<a><REGISTRY k=\"v\"/></a>"));
  Settings().silent = false;
  CollectorTable collectors;
  collectors.registry = [](ActionRequest& request) {
    sys::WriteWholeFile(request.outputPath, "export");
    testing_support::MakeUnopenableFile(RecordingRun::Native(FolderOf(request.outputPath)) +
                                        "/gone.sock");
    RaiseWriteFailure();  // as a full disk would
  };
  ScriptRunner(std::string(), system, collectors).Run(RunPassRun);
  EXPECT_TRUE(Settings().writeFailed);
  auto members = Result();
  EXPECT_EQ(members["one/k.txt"], "export");
  EXPECT_TRUE(CheckSignature(members["FileList.csv"]));
  EXPECT_EQ(system.lastBox.rfind("Check that destination directory", 0), 0u) << system.lastBox;
  EXPECT_NE(system.lastBox.find("result file name:  " + dir.path() + "\\r.tgz"), std::string::npos)
      << system.lastBox;
  const std::string left = ReadFile(dir / "~BX_TEMP/Activity Log.csv");
  EXPECT_NE(left.find(",ERROR,File one\\gone.sock cannot be opened (error 6); it stays in "),
            std::string::npos)
      << left;
  EXPECT_NE(left.find(",ERROR,The result " + dir.path() + "\\r.tgz is incomplete"),
            std::string::npos);
#endif
}

}  // namespace
