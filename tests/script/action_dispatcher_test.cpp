#include "script/action_dispatcher.h"

#include <gtest/gtest.h>

#include "expr/path_resolver.h"
#include "run/run_settings.h"
#include "run/text.h"
#include "support/fake_version_system.h"
#include "support/log_entries.h"
#include "sys/file_system.h"

namespace {

using testing_support::CapturedLog;
using testing_support::ScratchFolder;
using Entries = std::vector<std::string>;

// What the fake collectors saw, in call order.
std::vector<std::string> g_calls;

void Record(const char* kind, const ActionRequest& r) {
  g_calls.push_back(std::string(kind) + "|" + r.name + "|" + r.value + "|" +
                    RelativeToFolder(r.outputPath, r.tempFolder) + "|" + r.element.name());
}

CollectorTable RecordingCollectors() {
  CollectorTable t;
  t.files = [](ActionRequest& r) { Record("files", r); };
  t.fileVersions = [](ActionRequest& r) { Record("versions", r); };
  t.registry = [](ActionRequest& r) {
    Record("registry", r);
    EXPECT_EQ(r.context.resolver->actionName(), r.name);
    if (r.value == "stop") Settings().stopRequested = true;
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
  <Group><REGISTRY Run="HKEY_LOCAL_MACHINE\Software\Run"/><Inner><debug Trace="on"/></Inner>
    <Deeper><SUMMARY><FILES Hidden="x"/></SUMMARY></Deeper></Group>
  <miscellaneous Process_List="" Other="1" event_logs=""/>
  <PROCESSIF_OSNAME_IS_WINXP><EXECUTE Tool="cmd /c ver"/></PROCESSIF_OSNAME_IS_WINXP>
  <processif_kernel_is_winnt RegKey="HKEY_X"/>
  <FILE_VERSIONS Sys="C:\Windows\*.dll">text <!-- comment --> content</FILE_VERSIONS>
  <ACTIVE_DIRECTORY Query="x"><Nested A="1"/></ACTIVE_DIRECTORY>
  <EVENT_LOGS Application_log_required="Yes"/><Unknown Thing="1"/><FILES/>
</Script>)";

class ActionDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    g_calls.clear();
    sys::CreateFolder(scriptFolder);
  }
  void TearDown() override { Settings().Reset(); }

  int32_t Walk(const std::string& text, int32_t pass,
               const CollectorTable& table = RecordingCollectors()) {
    ScriptDocument document;
    document.LoadFromBytes(text);
    int32_t stepTotal = 0;
    PathResolver resolver(SystemPathLookups());
    RunContext context = capture.Context();
    context.resolver = &resolver;
    context.manifest = &listed;
    ActionDispatcher dispatcher(context, &logic, exeFolder, temp.path(), scriptFolder, &stepTotal,
                                table);
    dispatcher.WalkNode(document.Root(), pass);
    return stepTotal;
  }

  ScratchFolder temp{"walk"};
  std::string exeFolder = "C:\\Tool";
  std::string scriptFolder = temp.path() + "\\script";
  CapturedLog capture;
  testing_support::FakeVersionSystem system;  // an XP workstation
  VersionLogic logic{capture.log(), system};
  testing_support::ListedRows listed;  // single files; folders are their collectors'
};

TEST_F(ActionDispatcherTest, RunPassLogsAndCallsInScriptOrder) {
  EXPECT_EQ(Walk(kScript, RunPassRun), 0);

  // What it could not run; a true condition without children is a section
  // of its own name.
  Entries errors;
  for (const std::string& entry : capture.Entries()) {
    if (entry.rfind("ERROR,", 0) == 0) errors.push_back(entry);
  }
  EXPECT_EQ(errors, (Entries{"ERROR,Unrecognised Action: miscellaneous<Other>",
                             "ERROR,Unrecognised Action: processif_kernel_is_winnt<RegKey>",
                             "ERROR,Unrecognised Action: Unknown<Thing>"}));

  EXPECT_EQ(g_calls, (Entries{
                         "files|Alpha|C:\\a\\*.txt|script\\Alpha|",
                         "files|Zeta|C:\\z\\*.log|script\\Zeta|",
                         "registry|Run|HKEY_LOCAL_MACHINE\\Software\\Run|script\\Run.txt|",
                         "processes|Process_List||script\\Process_List.txt|",
                         "eventlogs|event_logs||script\\|",
                         "execute|Tool|cmd /c ver|script\\Tool.txt|",
                         "versions|Sys|C:\\Windows\\*.dll|script\\Sys.csv|",
                         "ad||||ACTIVE_DIRECTORY",
                         "settings||||EVENT_LOGS",
                     }));
  EXPECT_EQ(listed.rows,
            (Entries{"script\\Run.txt|", "script\\Process_List.txt|", "script\\Sys.csv|"}));
}

TEST_F(ActionDispatcherTest, CountingPassOnlyAddsWeights) {
  capture.log()->Disable();
  std::string open, close;  // nesting deeper than any stack would hold
  for (int i = 0; i < 100000; ++i) {
    open += "<a>";
    close += "</a>";
  }
  EXPECT_EQ(Walk(kScript, RunPassCount), 35);
  EXPECT_EQ(Walk("", RunPassCount), 0);  // no root: every query fails
  EXPECT_EQ(Walk(open + "<FILES X='1'/>" + close, RunPassCount), 5);
  // Only the event-log settings are read in the counting pass.
  EXPECT_EQ(g_calls, Entries{"settings||||EVENT_LOGS"});
}

TEST_F(ActionDispatcherTest, AbsentCollectorsAreSkippedAndStopRequestsEndTheWalk) {
  Walk("<r><REGISTRY A=\"k\"/><ACTIVE_DIRECTORY/><EVENT_LOGS/></r>", RunPassRun, CollectorTable());
  // Neither the next attribute nor the next element once a stop is requested.
  Walk("<r><REGISTRY A=\"stop\" B=\"k\"/><FILES C=\"x\"/><x><EVENT_LOGS/></x></r>", RunPassRun);
  // A second writer of a device's safe name is numbered from that name.
  Settings().stopRequested = false;
  sys::WriteWholeFile(scriptFolder + "\\_NUL.x.csv", "");
  Walk("<r><FILE_VERSIONS NUL.x=\"x\"/></r>", RunPassRun);
  EXPECT_EQ(g_calls, (Entries{"registry|A|stop|script\\A.txt|",
                              "versions|NUL.x|x|script\\_NUL.x (2).csv|"}));
}

}  // namespace
