#include "script/action_dispatcher.h"

#include <gtest/gtest.h>

#include "app/run_settings.h"
#include "expr/path_resolver.h"
#include "pack/file_manifest.h"
#include "script/script_runner.h"
#include "support/log_entries.h"

namespace {

using testing_support::CapturedLog;
using testing_support::ScratchFolder;
using Entries = std::vector<std::string>;

// An XP SP2 workstation.
class XpSystem : public VersionSystem {
 public:
  bool ReadVersion(OsVersionInfo* info) const override {
    info->platformId = 2;
    info->major = 5;
    info->minor = 1;
    info->build = 2600;
    info->servicePackText = "Service Pack 2";
    return true;
  }
  bool ReadProductType(std::string*) const override { return false; }
  RegistryProbe ProbeRegistry(RegistryRoot, const std::string&, const std::string&) const override {
    RegistryProbe probe;
    probe.openError = 2;
    return probe;
  }
  bool PathAttributes(const std::string&, bool*) const override { return false; }
};

// What the fake collectors saw, in call order.
std::vector<std::string> g_calls;
bool g_stopInRegistry = false;

std::string Native(std::string path) {
#ifndef _WIN32
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
#endif
  return path;
}

void Record(const char* kind, const ActionRequest& r) {
  std::string name;
  r.element.GetName(&name);
  g_calls.push_back(std::string(kind) + "|" + r.name + "|" + r.value + "|" +
                    RelativeToFolder(r.outputPath, r.tempFolder) + "|" + name);
}

CollectorTable RecordingCollectors() {
  CollectorTable t;
  t.files = [](ActionRequest& r) { Record("files", r); };
  t.fileVersions = [](ActionRequest& r) { Record("versions", r); };
  t.registry = [](ActionRequest& r) {
    Record("registry", r);
    testing_support::WriteFile(Native(r.outputPath), "export");
    if (g_stopInRegistry) Settings().stopRequested = true;
  };
  t.execute = [](ActionRequest& r) { Record("execute", r); };
  t.eventLogs = [](ActionRequest& r) { Record("eventlogs", r); };
  t.processList = [](ActionRequest& r) { Record("processes", r); };
  t.activeDirectory = [](ActionRequest& r) { Record("ad", r); };
  t.eventLogSettings = [](ActionRequest& r) { Record("settings", r); };
  return t;
}

const char kScript[] = R"(<Script>
  <FILES Zeta="C:\z\*.log" Alpha="C:\a\*.txt"/>
  <Group>
    <REGISTRY Run="HKEY_LOCAL_MACHINE\Software\Run"/>
    <Deeper><SUMMARY><FILES Hidden="x"/></SUMMARY></Deeper>
    <Inner><debug Trace="on"/></Inner>
  </Group>
  <MISCELLANEOUS PROCESS_LIST="" Other="1" EVENT_LOGS=""/>
  <PROCESSIF_OSNAME_IS_WINXP>
    <EXECUTE Tool="cmd /c ver"/>
  </PROCESSIF_OSNAME_IS_WINXP>
  <PROCESSIF_OSTYPE_IS_SERVER>
    <FILES Server="x"/>
  </PROCESSIF_OSTYPE_IS_SERVER>
  <processif_kernel_is_winnt RegKey="HKEY_X"/>
  <FILE_VERSIONS Sys="C:\Windows\*.dll">text <!-- comment --> content</FILE_VERSIONS>
  <ACTIVE_DIRECTORY Query="x"><Nested A="1"/></ACTIVE_DIRECTORY>
  <EVENT_LOGS Application_log_required="Yes"/>
  <Unknown Thing="1"/>
  <FILES/>
</Script>)";

Entries Dispatched(const char* section, const char* name, const char* value) {
  return {std::string("DEBUG,XML Section: ") + section, std::string("DEBUG,XML Name: ") + name,
          std::string("DEBUG,XML Value: ") + value};
}

class ActionDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    g_calls.clear();
    g_stopInRegistry = false;
    tempFolder = temp.path();
    scriptFolder = tempFolder + "\\script";
    CreateActionFolder(scriptFolder);
  }
  void TearDown() override {
    FileManifest::Detach();
    DestroyResolver();
    Settings().Reset();
  }

  int32_t Walk(const std::string& text, int32_t pass) {
    ScriptDocument document;
    document.LoadFromBytes(text);
    int32_t stepTotal = 0;
    ActionDispatcher dispatcher(capture.log(), &logic, exeFolder, tempFolder, scriptFolder,
                                &stepTotal, RecordingCollectors());
    dispatcher.WalkNode(document.Root(), pass);
    return stepTotal;
  }

  ScratchFolder temp{"walk"};
  CapturedLog capture;
  XpSystem system;
  VersionLogic logic{capture.log(), system};
  std::string exeFolder = "C:\\Tool";
  std::string tempFolder;
  std::string scriptFolder;
};

TEST_F(ActionDispatcherTest, RunPassLogsAndCallsInScriptOrder) {
  LogFile fileList(temp / "FileList.csv");
  FileManifest::Attach(&fileList, tempFolder);
  EXPECT_EQ(Walk(kScript, RunPassRun), 0);

  Entries expected;
  auto add = [&](const Entries& more) {
    expected.insert(expected.end(), more.begin(), more.end());
  };
  add(Dispatched("FILES", "Alpha", "C:\\a\\*.txt"));
  add(Dispatched("FILES", "Zeta", "C:\\z\\*.log"));
  add(Dispatched("REGISTRY", "Run", "HKEY_LOCAL_MACHINE\\Software\\Run"));
  add(Dispatched("debug", "Trace", "on"));
  add({"DEBUG,Debug requested but not yet implemented"});
  add(Dispatched("MISCELLANEOUS", "EVENT_LOGS", ""));
  add(Dispatched("MISCELLANEOUS", "Other", "1"));
  add({"ERROR,Unrecognised Action: MISCELLANEOUS<Other>"});
  add(Dispatched("MISCELLANEOUS", "PROCESS_LIST", ""));
  add({"INFORMATION,Version logic PROCESSIF_OSNAME_IS_WINXP returned true."});
  add(Dispatched("EXECUTE", "Tool", "cmd /c ver"));
  add({"INFORMATION,Version logic PROCESSIF_OSTYPE_IS_SERVER returned false."});
  // A true condition without children is a section of its own name.
  add({"INFORMATION,Version logic PROCESSIF_KERNEL_IS_WINNT returned true."});
  add(Dispatched("processif_kernel_is_winnt", "RegKey", "HKEY_X"));
  add({"ERROR,Unrecognised Action: processif_kernel_is_winnt<RegKey>"});
  add(Dispatched("FILE_VERSIONS", "Sys", "C:\\Windows\\*.dll"));
  add(Dispatched("Unknown", "Thing", "1"));
  add({"ERROR,Unrecognised Action: Unknown<Thing>"});
  EXPECT_EQ(capture.Entries(), expected);

  EXPECT_EQ(g_calls, (Entries{
                         "files|Alpha|C:\\a\\*.txt|script\\Alpha|",
                         "files|Zeta|C:\\z\\*.log|script\\Zeta|",
                         "registry|Run|HKEY_LOCAL_MACHINE\\Software\\Run|script\\Run.txt|",
                         "eventlogs|EVENT_LOGS||script\\|",
                         "processes|PROCESS_LIST||script\\PROCESS_LIST.txt|",
                         "execute|Tool|cmd /c ver||",
                         "versions|Sys|C:\\Windows\\*.dll|script\\Sys.csv|",
                         "ad||||ACTIVE_DIRECTORY",
                         "settings||||EVENT_LOGS",
                     }));
  EXPECT_TRUE(testing_support::FileExists(Native(scriptFolder + "\\Alpha")));
  // Only the file that exists gets its manifest row.
  const std::string rows = testing_support::ReadFile(fileList.path());
  EXPECT_NE(rows.find(",script\\Run.txt,\r\n"), std::string::npos) << rows;
  EXPECT_EQ(rows.find("Sys.csv"), std::string::npos) << rows;
}

TEST_F(ActionDispatcherTest, CountingPassOnlyAddsWeights) {
  capture.log()->Disable();
  // FILES 2x5, REGISTRY 5, DEBUG 2, EVENT_LOGS 1, PROCESS_LIST 1, EXECUTE 5,
  // FILE_VERSIONS 5, ACTIVE_DIRECTORY 5, EVENT_LOGS element 1.
  EXPECT_EQ(Walk(kScript, RunPassCount), 35);
  // Only the event-log settings are read in the counting pass.
  EXPECT_EQ(g_calls, Entries{"settings||||EVENT_LOGS"});
  EXPECT_FALSE(testing_support::FileExists(Native(scriptFolder + "\\Alpha")));
  EXPECT_EQ(Walk("<SUMMARY><FILES A=\"1\"/></SUMMARY>", RunPassCount), 0);
  EXPECT_EQ(Walk("<x><y><z/></y></x>", RunPassCount), 0);
}

TEST_F(ActionDispatcherTest, RecognisedActionsAndWeights) {
  const struct {
    const char* section;
    const char* name;
    bool recognised;
    int32_t weight;
  } kCases[] = {
      {"files", "a", true, 5},
      {"File_Versions", "a", true, 5},
      {"REGISTRY", "a", true, 5},
      {"Debug", "a", true, 2},
      {"execute", "a", true, 5},
      {"MISCELLANEOUS", "event_logs", true, 1},
      {"miscellaneous", "Process_List", true, 1},
      {"MISCELLANEOUS", "Other", false, 0},
      {"FOO", "Bar", false, 0},
      {"ACTIVE_DIRECTORY", "a", false, 0},
      {"XFILES", "a", false, 0},
  };
  CreateResolver(SystemPathLookups());
  for (const auto& c : kCases) {
    int32_t stepTotal = 0;
    ActionDispatcher dispatcher(capture.log(), &logic, exeFolder, tempFolder, scriptFolder,
                                &stepTotal, CollectorTable());
    EXPECT_EQ(dispatcher.DispatchAction(c.section, c.name, "v", RunPassCount), c.recognised)
        << c.section;
    EXPECT_EQ(stepTotal, c.weight) << c.section;
    EXPECT_EQ(Resolver()->actionName(), c.name);
  }
  EXPECT_EQ(capture.Entries().back(), "ERROR,Unrecognised Action: XFILES<a>");
}

TEST_F(ActionDispatcherTest, AbsentCollectorsStillLogAndWeigh) {
  int32_t stepTotal = 0;
  ActionDispatcher dispatcher(capture.log(), &logic, exeFolder, tempFolder, scriptFolder,
                              &stepTotal, CollectorTable());
  ScriptDocument document;
  document.LoadFromBytes("<r><REGISTRY A=\"k\"/><ACTIVE_DIRECTORY/><EVENT_LOGS/></r>");
  dispatcher.WalkNode(document.Root(), RunPassRun);
  EXPECT_EQ(capture.Entries(), Dispatched("REGISTRY", "A", "k"));
  dispatcher.WalkNode(document.Root(), RunPassCount);
  EXPECT_EQ(stepTotal, 11);
}

TEST_F(ActionDispatcherTest, StopRequestEndsTheWalk) {
  g_stopInRegistry = true;
  Walk("<r><REGISTRY A=\"k\" B=\"k\"/><FILES C=\"x\"/><x><FILES D=\"y\"/></x></r>", RunPassRun);
  EXPECT_EQ(g_calls, Entries{"registry|A|k|script\\A.txt|"});
  // A stop before the walk still walks the root element, nothing below it.
  g_calls.clear();
  Walk("<FILES A=\"1\"/>", RunPassRun);
  Walk("<r><FILES A=\"1\"/></r>", RunPassRun);
  EXPECT_EQ(g_calls, Entries{});
}

TEST_F(ActionDispatcherTest, DeepNestingIsWalkedWithoutRecursion) {
  const int depth = 100000;
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  text += "<FILES X=\"1\"/>";
  for (int i = 0; i < depth; ++i) text += "</a>";
  EXPECT_EQ(Walk(text, RunPassCount), 5);
}

TEST(ActionDispatcherTextTest, PlaceholderAndRelativePaths) {
  EXPECT_EQ(FillPlaceholder("Copying files [%s]", "Logs"), "Copying files [Logs]");
  EXPECT_EQ(FillPlaceholder("%d %s %n %s", "x"), "%d x %n %s");  // never a format
  EXPECT_EQ(FillPlaceholder("Collecting event logs", "x"), "Collecting event logs");
  EXPECT_EQ(RelativeToFolder("C:\\T\\~BX_TEMP\\s\\a.csv", "C:\\T\\~BX_TEMP"), "s\\a.csv");
  EXPECT_EQ(RelativeToFolder("C:\\T\\~BX_TEMPX\\a.csv", "C:\\T\\~BX_TEMP"),
            "C:\\T\\~BX_TEMPX\\a.csv");
  EXPECT_EQ(RelativeToFolder("C:\\T", "C:\\T"), "C:\\T");
}

}  // namespace
