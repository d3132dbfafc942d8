// tovkit's page and its fleet lines for one real result: a whole run pass
// natively, with stand-in collectors for what only Windows can collect.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "app/run_driver.h"
#include "collect/event_log_collector.h"
#include "fleet_inspect.h"
#include "formula_cells.h"
#include "inspect.h"
#include "report.h"
#include "result_report.h"
#include "run/run_settings.h"
#include "support/test_support.h"
#include "sys/file_system.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::Signed;
using testing_support::WriteFile;

void Processes(ActionRequest& request) {
  sys::WriteWholeFile(request.outputPath,
                      "System\r\nsvchost.exe\r\nsvchost.exe\r\nexplorer.exe\r\n");
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

// One run for the whole suite; the fleet is copies of its result, the
// second one cut short.
class ResultReportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchFolder("report");
    fleet_ = new ScratchFolder("fleet");
    Settings().Reset();
    Settings().silent = true;
    Settings().caseIdGiven = true;
    Settings().caseId = "c1207";
    Settings().xmlFile = dir_->path() + "\\*.tov";
    Settings().outFile = dir_->path() + "\\result.tgz";
    WriteFile(*dir_ / "check.tov",
              Signed("<Check>\n"
                     "  <FILESS Logs=\"C:\\Logs\\*.log\"/>\n"
                     "  <DEBUG Note=\"&lt;script&gt;alert(1)&lt;/script&gt;\"/>\n"
                     "  <MISCELLANEOUS PROCESS_LIST=\"\" EVENT_LOGS=\"\"/>\n"
                     "</Check>\n"));
    WriteFile(*dir_ / "refused.tov", "<Unsigned><DEBUG a=\"1\"/></Unsigned>");
    CollectorTable collectors;
    collectors.processList = Processes;
    collectors.eventLogs = Events;
    ScriptRunner(std::string(), SystemRun(), collectors).Run(RunPassRun);
    Settings().Reset();
    const std::string result = ReadFile(*dir_ / "result.tgz");
    for (size_t i = 0; i < 3; ++i) {
      WriteFile(Copy(i), i == 1 ? result.substr(0, result.size() / 2) : result);
    }
    WriteFile(*fleet_ / "notes.txt", "not a result");
  }
  static void TearDownTestSuite() {
    delete fleet_;
    delete dir_;
  }
  static std::string Copy(size_t i) { return *fleet_ / ("r" + std::to_string(i) + ".tgz"); }

  static ScratchFolder* dir_;
  static ScratchFolder* fleet_;
};

ScratchFolder* ResultReportTest::dir_ = nullptr;
ScratchFolder* ResultReportTest::fleet_ = nullptr;

TEST_F(ResultReportTest, ProblemsFirstAndEveryTextEscaped) {
  std::ostringstream out, err;
  ASSERT_EQ(tovkit::Report({*dir_ / "result.tgz", "-o", *dir_ / "report.html"}, out, err), 4)
      << err.str();
  const std::string page = ReadFile(*dir_ / "report.html");
  const size_t problems = page.find("id=\"problems\"");
  const size_t collected = page.find("id=\"collected\"");
  ASSERT_LT(problems, collected);
  const std::string problemPart = page.substr(problems, collected - problems);
  EXPECT_NE(problemPart.find("Unrecognised Action: FILESS&lt;Logs&gt;"), std::string::npos);
  EXPECT_NE(problemPart.find("refused.tov does not have a valid signiture"), std::string::npos);

  EXPECT_EQ(page.find("<script>alert"), std::string::npos);
  EXPECT_NE(page.find("XML Value: &lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);

  EXPECT_NE(page.find("<td>svchost.exe</td><td class=\"num\" data-v=\"2\">2</td>"),
            std::string::npos);
  // The event log: counts by type and source, the newest error first, escaped.
  const std::string eventPart = page.substr(page.find("id=\"eventlogs\""));
  EXPECT_NE(eventPart.find("check/Application Log.csv (3 records)"), std::string::npos);
  EXPECT_LT(eventPart.find("&lt;b&gt;new&lt;/b&gt; failure"), eventPart.find("old failure"));
}

TEST(TovkitCommandTest, UsageAndInputsThatAreNoResult) {
  std::ostringstream out, err;
  EXPECT_EQ(tovkit::Report({}, out, err), 2);
  ScratchFolder empty("fleet-empty");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"--json"}, {"--bogus", empty.path()}, {empty.path()}}) {
    EXPECT_EQ(tovkit::Inspect(args, out, err), 2) << args.size();
  }
#ifndef _WIN32
  // Never over an input, and never a wait on one that is no file.
  testing_support::ScratchFolder dir("report-inputs");
  const std::string page = dir / "R.html", fifo = dir / "F.tgz";
  testing_support::WriteFile(page, "page");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(page, dir / "L.html");
  const struct {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{page}, 2},  // its own default page
      {{page, "-o", page}, 2},
      {{page, "-o", dir / "L.html"}, 2},
      {{fifo, "-o", dir / "x.html"}, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(tovkit::Report(c.args, out, err), c.code) << c.args[0];
  EXPECT_EQ(tovkit::Inspect({fifo}, out, err), 2);
  EXPECT_EQ(testing_support::ReadFile(page), "page");
  EXPECT_FALSE(testing_support::FileExists(dir / "x.html"));
#endif
}

TEST_F(ResultReportTest, AFolderGivesOneLinePerResultInNameOrder) {
  std::ostringstream out, err;
  ASSERT_EQ(tovkit::Inspect({fleet_->path()}, out, err), 1) << err.str();
  EXPECT_EQ(err.str(), "") << "no progress off a terminal";
  std::vector<std::string> lines;
  std::istringstream text(out.str());
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  const std::string size = std::to_string(ReadFile(*dir_ / "result.tgz").size());
  for (size_t i = 0; i < 3; ++i) {
    if (i == 1) {
      EXPECT_NE(lines[i].find("  NOT INTACT: damaged archive ("), std::string::npos) << lines[i];
    } else {
      EXPECT_EQ(lines[i].rfind(Copy(i) + "  case=c1207  host=", 0), 0u) << lines[i];
      const std::string tail = "  size=" + size +
                               "  scripts=2  errors=2  warnings=0  intact, collected with errors "
                               "(2 errors)";
      EXPECT_EQ(lines[i].substr(lines[i].size() - std::min(lines[i].size(), tail.size())), tail);
    }
  }
  EXPECT_EQ(lines.back(), "3 results: 0 clean, 2 intact with errors, 1 NOT INTACT");
}

TEST_F(ResultReportTest, JsonAndProgress) {
  std::ostringstream out, err;
  ASSERT_EQ(tovkit::Inspect({"--json", Copy(0), Copy(1), *fleet_ / "gone.tgz"}, out, err, true), 1);
  EXPECT_EQ(err.str().rfind("\r1/3", 0), 0u) << err.str();
  EXPECT_NE(err.str().find("\r3/3"), std::string::npos);
  const std::string json = out.str();
  EXPECT_NE(json.find("\"scripts\": 2, \"refused\": 1, \"errors\": 2, \"warnings\": 0, "
                      "\"clean\": false, \"verdict\": \"intact with errors\""),
            std::string::npos)
      << json;
  // Each error names its script and, once the walk has named it, its action.
  EXPECT_NE(json.find("{\"severity\": \"ERROR\", \"script\": \"check.tov\", \"action\": "
                      "\"FILESS Logs\", \"message\": \"Unrecognised Action: FILESS<Logs>\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"verdict\": \"NOT INTACT\", \"headline\": \"NOT INTACT: damaged archive ("),
            std::string::npos);
  EXPECT_NE(json.find("gone.tgz\", \"case\": null, \"host\": null,"), std::string::npos);
  EXPECT_NE(json.find("\"reason\": \"no such file\""), std::string::npos);
}

TEST(FleetInspect, ActivityLogReadWhateverThePiecesAre) {
  const std::string log =
      "TOV TOOL CASE ID = x,y\r\n\r\n"
      "Time,Type,Description\r\n"
      "01/02/2026 10:00:00,INFORMATION,Tool version: 1.1.0\r\n"
      "01/02/2026 10:00:00,INFORMATION,Computer: PC1\r\n"
      "01/02/2026 10:00:00,INFORMATION,Workgroup: WG\r\n"
      "01/02/2026 10:00:00,INFORMATION,Windows: Windows 10 Pro; version 10.0.19045; x64\r\n"
      "01/02/2026 10:00:00,INFORMATION,XML file found: a.tov\r\n"
      "01/02/2026 10:00:00,INFORMATION,Computer: not a fact once a script began\r\n"
      "01/02/2026 10:00:00,DEBUG,XML Section: EXECUTE\r\n"
      "01/02/2026 10:00:00,DEBUG,XML Name: Tool\r\n"
      "01/02/2026 10:00:00,ERROR,Unable to execute command (2)\r\n"
      "01/02/2026 10:00:00,INFORMATION,XML file found: b.tov\r\n"
      "01/02/2026 10:00:00,ERROR,XML file b.tov does not have a valid signiture and will not "
      "be processed.\r\n"
      "01/02/2026 10:00:01,WARNING,a, b\r\n"
      "01/02/2026 10:00:02,CRITICAL ERROR,c\r\n"
      "01/02/2026 10:00:04,WARNING,no line end";
  // A byte at a time: no line, field or name is cut where a piece ends.
  tovkit::LogSummary summary;
  tovkit::ActivityLogReader reader(&summary);
  std::vector<tovkit::LogEntry> errors;
  reader.onEntry = [&](const tovkit::LogEntry& e) {
    if (e.severity == "ERROR") errors.push_back(e);
  };
  reader.Begin("other.txt", 3);
  reader.Data(reinterpret_cast<const unsigned char*>("x,ERROR,y\n"), 10);
  reader.Begin("Activity Log.csv", log.size());
  for (const char& c : log) reader.Data(reinterpret_cast<const unsigned char*>(&c), 1);
  reader.Finish();
  EXPECT_EQ(summary.caseId, "x,y");
  EXPECT_EQ(summary.scripts, 2u);
  EXPECT_EQ(summary.refused, 1u);
  EXPECT_EQ(summary.refusedNames, std::vector<std::string>{"b.tov"});
  EXPECT_EQ(summary.errors, 3u);
  EXPECT_EQ(summary.warnings, 2u);
  EXPECT_EQ(tovkit::FactsText(summary.facts),
            "host PC1 (workgroup WG), Windows Windows 10 Pro; version 10.0.19045; x64, tool 1.1.0");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].script + "|" + errors[0].action, "a.tov|EXECUTE Tool");
  EXPECT_EQ(tovkit::ExplainErrorCode(errors[0].message), "the file was not found");
  EXPECT_EQ(errors[1].script + "|" + errors[1].action, "b.tov|");
  EXPECT_EQ(tovkit::FactsText(tovkit::RunFacts()), "host unknown, Windows unknown, tool unknown");
}

TEST(FleetInspect, OutputTextCannotBreakItsLineOrItsJson) {
  tovkit::ResultLine line;
  line.file = "a\"b\\c.tgz";
  line.log.hasCase = true;
  // ESC, a line end, the one-byte CSI raw and in UTF-8, a right-to-left
  // override, a zero-width space; text that is no UTF-8 read as Latin-1.
  line.log.caseId = std::string(
      "\x1b[2J\n\x9b\xC2\x9b \xE2\x80\xAE\xE2\x80\x8B \xC3\xA9 \xF0\x9F\x98\x80 \xFF \xED\xA0\x80");
  line.verdict.reason = "r";
  EXPECT_NE(tovkit::SummaryJson({line}).find(
                "\"file\": \"a\\\"b\\\\c.tgz\", \"case\": \"\\u001b[2J\\u000a\\u009b\\u009b "
                "\\u202e\\u200b \xC3\xA9 \xF0\x9F\x98\x80 \xC3\xBF \xC3\xAD\xC2\xA0\\u0080\", "),
            std::string::npos);
  EXPECT_EQ(tovkit::SummaryJson({}), "[]\n");
  EXPECT_EQ(tovkit::Printable(line.log.caseId),
            "<U+001B>[2J<U+000A><U+009B><U+009B> <U+202E><U+200B> \xC3\xA9 \xF0\x9F\x98\x80 "
            "\xC3\xBF \xC3\xAD\xC2\xA0<U+0080>");
  EXPECT_EQ(tovkit::HtmlEscape("<a href='x'>&\t\n\r\xE2\x81\xA6"),
            "&lt;a href=&#39;x&#39;&gt;&amp;\t\n&lt;U+000D&gt;&lt;U+2066&gt;");
}

// Cells a spreadsheet would run, wherever the pieces end; numbers are not.
TEST(FormulaCells, NamedWithTheirPlace) {
  const std::string csv =
      "Name,Version\r\na.exe,=HYPERLINK(\"http://x\")\r\n@SUM(1+9)*cmd|' /C calc'!A0,-1\r\n"
      "b,+1+2\r\n\tx,\rc,-\r\n";
  tovkit::FormulaCellScanner scanner;
  scanner.Begin("FileList.csv", 3);
  scanner.Data(reinterpret_cast<const unsigned char*>("=1,"), 3);
  scanner.Begin("s/V.CSV", csv.size());
  for (const char& c : csv) scanner.Data(reinterpret_cast<const unsigned char*>(&c), 1);
  scanner.Finish();
  std::string found;
  for (const tovkit::FormulaCell& cell : scanner.cells()) {
    found += tovkit::FormulaCellText(cell) + "\n";
  }
  EXPECT_EQ(found,
            "s/V.CSV row 2 column 2: =HYPERLINK(\"http://x\")\n"
            "s/V.CSV row 3 column 1: @SUM(1+9)*cmd|' /C calc'!A0\n"
            "s/V.CSV row 4 column 2: +1+2\n"
            "s/V.CSV row 5 column 1: \tx\n"
            "s/V.CSV row 5 column 2: \rc\n");
  EXPECT_EQ(scanner.count(), 5u);
}

}  // namespace
