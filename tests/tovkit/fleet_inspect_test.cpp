// Many results at once: one real run's result copied across a fleet's worth
// of files, one of them cut short.
#include "fleet_inspect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "app/run_driver.h"
#include "inspect.h"
#include "run/run_settings.h"
#include "support/local_run.h"
#include "support/test_support.h"

namespace {

using testing_support::LocalRun;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::Signed;
using testing_support::WriteFile;

std::string Name(size_t i) {
  char name[16];
  std::snprintf(name, sizeof name, "r%03zu.tgz", i);
  return name;
}

constexpr size_t kResults = 300;
constexpr size_t kDamaged = 137;

class FleetInspectTest : public ::testing::Test {
 protected:
  // One run for the whole suite; the copies are cheap.
  static void SetUpTestSuite() {
    run_ = new ScratchFolder("fleet-run");
    fleet_ = new ScratchFolder("fleet");
    Settings().Reset();
    Settings().silent = true;
    Settings().caseIdGiven = true;
    Settings().caseId = "host-\"7\"";
    Settings().xmlFile = run_->path() + "\\*.tov";
    Settings().outFile = run_->path() + "\\result.tgz";
    WriteFile(*run_ / "a.tov", Signed("<A>\n  <DEBUG Note=\"one\"/>\n  <NOSUCH X=\"1\"/>\n</A>\n"));
    WriteFile(*run_ / "b.tov", Signed("<B><DEBUG Note=\"two\"/></B>\n"));
    WriteFile(*run_ / "c.tov", "<C><DEBUG a=\"unsigned\"/></C>");
    LocalRun system(run_->path());
    ScriptRunner(std::string(), system, CollectorTable()).Run(RunPassRun);
    Settings().Reset();
    const std::string result = ReadFile(*run_ / "result.tgz");
    for (size_t i = 0; i < kResults; ++i) {
      WriteFile(*fleet_ / Name(i), i == kDamaged ? result.substr(0, result.size() / 2) : result);
    }
    WriteFile(*fleet_ / "notes.txt", "not a result");
  }
  static void TearDownTestSuite() {
    delete fleet_;
    delete run_;
  }

  static ScratchFolder* run_;
  static ScratchFolder* fleet_;
};

ScratchFolder* FleetInspectTest::run_ = nullptr;
ScratchFolder* FleetInspectTest::fleet_ = nullptr;

TEST_F(FleetInspectTest, AFolderGivesOneLinePerResultInNameOrder) {
  std::ostringstream out, err;
  ASSERT_EQ(tovkit::Inspect({fleet_->path()}, out, err), 1) << err.str();
  EXPECT_EQ(err.str(), "") << "no progress off a terminal";
  std::vector<std::string> lines;
  std::istringstream text(out.str());
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), kResults + 1);
  const std::string size = std::to_string(ReadFile(*run_ / "result.tgz").size());
  for (size_t i = 0; i < kResults; ++i) {
    const std::string head = (std::filesystem::path(fleet_->path()) / Name(i)).string();
    if (i == kDamaged) {
      EXPECT_EQ(lines[i].rfind(head + "  case=", 0), 0u) << lines[i];
      EXPECT_NE(lines[i].find("  NOT CLEAN: damaged archive ("), std::string::npos) << lines[i];
      continue;
    }
    EXPECT_EQ(lines[i], head + "  case=host-\"7\"  size=" + size +
                            "  scripts=3  errors=2  warnings=0  clean, collected with errors");
  }
  EXPECT_EQ(lines.back(), "300 results: 299 clean (299 collected with errors), 1 NOT CLEAN");
}

TEST_F(FleetInspectTest, JsonAndProgress) {
  std::ostringstream out, err;
  const std::vector<std::string> files = {*fleet_ / Name(1), *fleet_ / Name(kDamaged),
                                          *fleet_ / "gone\x1f\xf4\x90\x80\x80.tgz"};
  ASSERT_EQ(tovkit::Inspect({"--json", files[0], files[1], files[2]}, out, err, true), 1);
  EXPECT_EQ(err.str().rfind("\r1/3", 0), 0u) << err.str();
  EXPECT_NE(err.str().find("\r3/3"), std::string::npos);
  const std::string json = out.str();
  EXPECT_EQ(json.rfind("[\n  {\"file\": \"", 0), 0u) << json;
  EXPECT_NE(json.find("\"case\": \"host-\\\"7\\\"\", \"size\": "), std::string::npos) << json;
  EXPECT_NE(json.find(", \"scripts\": 3, \"errors\": 2, \"warnings\": 0, \"clean\": true, "
                      "\"verdict\": \"clean\", \"reason\": \"\"}"),
            std::string::npos);
  EXPECT_NE(json.find("\"verdict\": \"NOT CLEAN\", \"reason\": \"damaged archive ("),
            std::string::npos);
  // A control byte escaped, a sequence beyond U+10FFFF replaced.
  EXPECT_NE(json.find("gone\\u001f\\ufffd\\ufffd\\ufffd\\ufffd.tgz\", \"case\": null, \"size\": 0, "
                      "\"scripts\": 0, \"errors\": 0, "
                      "\"warnings\": 0, \"clean\": false, \"verdict\": \"NOT CLEAN\", "
                      "\"reason\": \"cannot open\"}\n]\n"),
            std::string::npos)
      << json;

  // One clean file with --json is still JSON, and exits 0.
  std::ostringstream one;
  EXPECT_EQ(tovkit::Inspect({"--json", files[0]}, one, err), 0);
  EXPECT_EQ(one.str().rfind("[\n  {", 0), 0u);
}

TEST(FleetInspect, UsageErrors) {
  ScratchFolder empty("fleet-empty");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"--json"}, {"--bogus", empty.path()}, {empty.path()}}) {
    std::ostringstream out, err;
    EXPECT_EQ(tovkit::Inspect(args, out, err), 2) << args.size();
    EXPECT_FALSE(err.str().empty());
  }
}

TEST(FleetInspect, ActivityLogCountsWhateverThePiecesAre) {
  const std::string log =
      "TOV TOOL CASE ID = x,y\r\n\r\n"
      "Time,Type,Description\r\n"
      "01/02/2026 10:00:00,INFORMATION,XML file found: a.tov\r\n"
      "01/02/2026 10:00:00,ERROR,XML file found: is only a message here\r\n"
      "01/02/2026 10:00:01,WARNING,a, b\r\n"
      "01/02/2026 10:00:02,CRITICAL ERROR,c\r\n"
      "01/02/2026 10:00:03,INFORMATION,TOV TOOL CASE ID = late\r\n"
      "01/02/2026 10:00:04,WARNING,no line end";
  for (size_t piece : {size_t{1}, size_t{7}, log.size()}) {
    tovkit::ResultLine line;
    tovkit::ActivityLogTally tally(&line);
    tally.Begin("other.txt", 3);
    tally.Data(reinterpret_cast<const unsigned char*>("x,ERROR,y\n"), 10);
    tally.Begin("Activity Log.csv", log.size());
    for (size_t at = 0; at < log.size(); at += piece) {
      tally.Data(reinterpret_cast<const unsigned char*>(log.data()) + at,
                 std::min(piece, log.size() - at));
    }
    tally.Finish();
    EXPECT_TRUE(line.hasCase);
    EXPECT_EQ(line.caseId, "x,y");
    EXPECT_EQ(line.scripts, 2u) << piece;
    EXPECT_EQ(line.errors, 2u) << piece;
    EXPECT_EQ(line.warnings, 2u) << piece;
  }
}

TEST(FleetInspect, OutputTextCannotBreakItsLineOrItsJson) {
  tovkit::ResultLine line;
  line.file = "a\"b\\c.tgz";
  line.hasCase = true;
  line.caseId = std::string(
      "\x1b[2J\n\x01 \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xFF \xC0\xAF \xED\xA0\x80");
  line.reason = "r";
  EXPECT_EQ(tovkit::SummaryJson({line}),
            "[\n  {\"file\": \"a\\\"b\\\\c.tgz\", \"case\": \"\\u001b[2J\\u000a\\u0001 \xC3\xA9 "
            "\xE2\x82\xAC \xF0\x9F\x98\x80 \\ufffd \\ufffd\\ufffd \\ufffd\\ufffd\\ufffd\", "
            "\"size\": 0, \"scripts\": 0, \"errors\": 0, \"warnings\": 0, \"clean\": false, "
            "\"verdict\": \"NOT CLEAN\", \"reason\": \"r\"}\n]\n");
  EXPECT_EQ(tovkit::SummaryJson({}), "[]\n");
  const std::string text = tovkit::SummaryText(line);
  EXPECT_EQ(text.find_first_of("\x1b\n\x01"), std::string::npos) << text;
}

}  // namespace
