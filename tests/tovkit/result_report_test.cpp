// The report built from a real result: a whole run pass natively, with
// stand-in collectors for what only Windows can collect.
#include "result_report.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "app/run_driver.h"
#include "collect/event_log_collector.h"
#include "collect/file_collector.h"
#include "inspect.h"
#include "report.h"
#include "run/run_settings.h"
#include "support/local_run.h"
#include "support/test_support.h"
#include "sys/file_system.h"

namespace {

using testing_support::FileExists;
using testing_support::LocalRun;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::Signed;
using testing_support::WriteFile;

void Processes(ActionRequest& request) {
  sys::WriteWholeFile(request.outputPath,
                      "System\r\nsvchost.exe\r\nsvchost.exe\r\nexplorer.exe\r\n");
}

void Versions(ActionRequest& request) {
  sys::WriteWholeFile(request.outputPath,
                      std::string(kFileVersionListHeader) +
                          "\r\nC:\\Windows\\system32\\kernel32.dll,1048576,,,,,5.1.2600.5512,,,,,,"
                          "\r\n");
}

// Oldest first, as the export reads the log.
void Events(ActionRequest& request) {
  sys::WriteWholeFile(request.outputPath + "Application Log.csv",
                      std::string(kEventCsvHeader) +
                          "\r\nError,01/12/2026,08:00:00,Disk,None,7,N/A,PC1,old failure,"
                          "\r\nInformation,02/12/2026,09:00:00,Srv,None,1,N/A,PC1,started,"
                          "\r\nError,03/12/2026,10:00:00,Srv,None,9,N/A,PC1,<b>new</b> failure,"
                          "\r\n");
}

class ResultReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    Settings().silent = true;
    Settings().caseIdGiven = true;
    Settings().caseId = "c1207";
    Settings().xmlFile = dir.path() + "\\*.tov";
    Settings().outFile = dir.path() + "\\result.tgz";
    WriteFile(dir / "check.tov",
              Signed("<Check>\n"
                     "  <FILESS Logs=\"C:\\Logs\\*.log\"/>\n"
                     "  <DEBUG Note=\"&lt;script&gt;alert(1)&lt;/script&gt;\"/>\n"
                     "  <MISCELLANEOUS PROCESS_LIST=\"\" EVENT_LOGS=\"\"/>\n"
                     "  <FILE_VERSIONS Kernel=\"C:\\Windows\\system32\\kernel32.dll\"/>\n"
                     "</Check>\n"));
    WriteFile(dir / "refused.tov", "<Unsigned><DEBUG a=\"1\"/></Unsigned>");
    CollectorTable collectors;
    collectors.processList = Processes;
    collectors.fileVersions = Versions;
    collectors.eventLogs = Events;
    LocalRun system(dir.path());
    ScriptRunner(std::string(), system, collectors).Run(RunPassRun);
    Settings().Reset();
  }
  void TearDown() override { Settings().Reset(); }

  std::string Page() {
    std::ostringstream out, err;
    EXPECT_EQ(tovkit::Report({dir / "result.tgz", "-o", dir / "report.html"}, out, err), 0)
        << err.str();
    return ReadFile(dir / "report.html");
  }

  ScratchFolder dir{"report"};
};

TEST_F(ResultReportTest, ProblemsFirstAndEveryTextEscaped) {
  const std::string page = Page();
  ASSERT_FALSE(page.empty());
  const size_t problems = page.find("id=\"problems\"");
  const size_t collected = page.find("id=\"collected\"");
  ASSERT_LT(problems, collected);
  const std::string problemPart = page.substr(problems, collected - problems);
  EXPECT_NE(problemPart.find("Unrecognised Action: FILESS&lt;Logs&gt;"), std::string::npos);
  EXPECT_NE(problemPart.find("refused.tov does not have a valid signiture"), std::string::npos);
  EXPECT_NE(problemPart.find("clean: "), std::string::npos) << "the manifest verdict";

  EXPECT_EQ(page.find("<script>alert"), std::string::npos);
  EXPECT_NE(page.find("XML Value: &lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);

  // Opens offline: nothing is fetched from anywhere.
  for (const char* outside : {"http://", "https://", "<link", "src=", "url(", "@import", "//cdn"}) {
    EXPECT_EQ(page.find(outside), std::string::npos) << outside;
  }
  EXPECT_NE(page.find("c1207"), std::string::npos);
  const size_t refused = page.find("Scripts refused</dt><dd>");
  ASSERT_NE(refused, std::string::npos);
  EXPECT_EQ(page.compare(refused + 24, 11, "refused.tov"), 0);
  EXPECT_NE(page.find("Scripts run</dt><dd>check.tov</dd>"), std::string::npos);
  EXPECT_NE(page.find("<td>svchost.exe</td><td class=\"num\" data-v=\"2\">2</td>"),
            std::string::npos);
  EXPECT_NE(page.find("5.1.2600.5512"), std::string::npos);
  EXPECT_NE(page.find("check/PROCESS_LIST.txt"), std::string::npos) << "files per script";
  // The event log: counts by type and source, the newest error first, escaped.
  const size_t events = page.find("id=\"eventlogs\"");
  ASSERT_NE(events, std::string::npos);
  const std::string eventPart = page.substr(events, page.find("</section>", events) - events);
  EXPECT_NE(eventPart.find("check/Application Log.csv (3 records)"), std::string::npos);
  EXPECT_NE(eventPart.find("<td>Error</td><td class=\"num\" data-v=\"2\">2</td>"),
            std::string::npos);
  EXPECT_LT(eventPart.find("&lt;b&gt;new&lt;/b&gt; failure"), eventPart.find("old failure"));
  EXPECT_EQ(eventPart.find("<b>new"), std::string::npos);
}

TEST(ResultReportEscapeTest, NothingLeavesItsElement) {
  EXPECT_EQ(tovkit::HtmlEscape("<a href='x'>\"&\"</a>\x01\tz"),
            "&lt;a href=&#39;x&#39;&gt;&quot;&amp;&quot;&lt;/a&gt;\xEF\xBF\xBD\tz");
}

TEST(ResultReportCommandTest, UsageAndUnreadableResult) {
  std::ostringstream out, err;
  EXPECT_EQ(tovkit::Report({}, out, err), 2);
  EXPECT_EQ(tovkit::Report({"a.tgz", "b.tgz"}, out, err), 2);
  EXPECT_EQ(tovkit::Report({"/no/such/result.tgz"}, out, err), 1);
#ifndef _WIN32
  // Never over an input, and never a wait on one that is no file.
  testing_support::ScratchFolder dir("report-inputs");
  const std::string result = dir / "R.tgz", page = dir / "R.html", fifo = dir / "F.tgz";
  testing_support::WriteFile(result, "result");
  testing_support::WriteFile(page, "page");
  std::filesystem::create_symlink(result, dir / "L.html");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{result, "-o", result}, 2},
      {{result, "-o", dir / "L.html"}, 2},
      {{page}, 2},  // its own default page
      {{fifo, "-o", dir / "x.html"}, 1},
      {{dir.path(), "-o", dir / "x.html"}, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(tovkit::Report(c.args, out, err), c.code) << c.args[0];
  EXPECT_EQ(tovkit::Inspect({fifo}, out, err), 2);
  EXPECT_EQ(testing_support::ReadFile(result), "result");
  EXPECT_EQ(testing_support::ReadFile(page), "page");
  EXPECT_FALSE(testing_support::FileExists(dir / "x.html"));
#endif
}

// A real browser renders the page; the screenshot stays in the build folder
// for a person to look at.
TEST_F(ResultReportTest, RendersInHeadlessChromium) {
  const char* browser = nullptr;
  for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
    if (FileExists(candidate)) browser = candidate;
  }
  if (browser == nullptr) {
    GTEST_SKIP() << "chromium is not installed (apt-get install chromium); no screenshot taken";
  }
  Page();
  const std::string artifacts = std::string(BRINDLE_BINARY_DIR) + "/artifacts";
  sys::CreateFolder(artifacts);
  const std::string shot = artifacts + "/report.png";
  std::remove(shot.c_str());
  const std::string command = std::string(browser) +
                              " --headless --no-sandbox --disable-gpu --hide-scrollbars"
                              " --window-size=1200,1500 --screenshot=" +
                              shot + " file://" + dir / "report.html" + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  ASSERT_TRUE(FileExists(shot));
  EXPECT_GT(ReadFile(shot).size(), 10000u) << "a page, not a blank";
}

}  // namespace
