#include "script_lint.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sign.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;

const std::string kCorpus = std::string(BRINDLE_SOURCE_DIR) + "/tests/tovkit/lint/";

std::string Diagnostics(const std::string& bytes, bool checkSignature) {
  tovkit::LintOptions options;
  options.checkSignature = checkSignature;
  std::string out;
  for (const tovkit::LintFinding& finding : tovkit::LintScript(bytes, options)) {
    out += tovkit::FormatFinding("s.tov", finding) + "\n";
  }
  return out;
}

// One broken script per kind of finding, with everything lint says of it.
TEST(ScriptLintTest, EachBrokenScriptGetsItsDiagnosticAtItsPlace) {
#ifdef _WIN32
  GTEST_SKIP() << "the source tree lies outside the test drives; the native run checks this";
#endif
  const struct {
    const char* file;
    const char* diagnostics;
  } kCases[] = {
      {"markup_reference.tov",
       "s.tov:2:17: warning: unknown reference '&nbsp;' is replaced by nothing\n"},
      {"action_unknown_section.tov",
       "s.tov:2:3: error: unknown section 'FILESS': its 1 action is skipped\n"},
      {"action_unknown_name.tov",
       "s.tov:2:18: error: unknown action 'PROCESSLIST' in section MISCELLANEOUS\n"},
      {"condition_unknown_word.tov",
       "s.tov:2:3: error: unknown condition word 'WINVISTA' for OSNAME in "
       "<PROCESSIF_OSNAME_IS_WINVISTA>\n"},
      {"condition_operand.tov",
       "s.tov:2:22: error: attribute 'Path' is no condition operand (RegKey, RegValueName, "
       "RegValue, File, Folder)\n"},
      {"variable_unknown.tov", "s.tov:2:17: error: unknown variable '$TOOLSDIR$'\n"},
      {"files_unknown_switch.tov",
       "s.tov:2:30: error: unknown switch '/r' (the collector knows /n, /s and /x:)\n"},
      {"execute_minutes.tov", "s.tov:2:18: error: time limit '~ten' is not a number of minutes\n"},
      {"directory_no_attrib.tov",
       "s.tov:3:5: error: SEARCH without Attrib is dropped: it writes nothing\n"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Diagnostics(ReadFile(kCorpus + c.file), false), c.diagnostics) << c.file;
  }
}

// What the run takes as it is must pass without a word.
TEST(ScriptLintTest, SoundValuesAndSkippedPartsSayNothing) {
  const char* kClean[] = {
      "<R><FILES a=\"%WINDIR%\\*.ini /s /x:DE\" b=\"$pfiles$\\App\\*.log\"/></R>",
      "<R><EXECUTE t=\"~10 $TOOLDIR$\\probe.exe 100%\"/></R>",
      "<R><SUMMARY><FILESS x=\"1\"/></SUMMARY><EVENT_LOGS Security_log_required=\"No\" "
      "System_log_Recent_Days=\"7\"/></R>",
      "<R><ACTIVE_DIRECTORY><DUMP Name=\"ad.csv\"/><SEARCH "
      "Value=\"(cn=*)\"><Scope/><Attrib/></SEARCH></ACTIVE_DIRECTORY></R>",
      "<R><MISCELLANEOUS event_logs=\"\" PROCESS_LIST=\"\"/><Empty/></R>",
  };
  for (const char* script : kClean) EXPECT_EQ(Diagnostics(script, false), "") << script;
}

TEST(ScriptLintTest, MoreFindingsOfValuesAndConditions) {
  const struct {
    const char* script;
    const char* diagnostics;
  } kCases[] = {
      {"<R><FILES a=\"C:\\x\\*.log /s /s\"/></R>",
       "s.tov:1:28: error: switch '/s' is given twice; the second stays in the path\n"},
      {"<R><PROCESSIF_OSTYPE_IS_SERVER File=\"x\"/></R>",
       "s.tov:1:4: error: condition <PROCESSIF_OSTYPE_IS_SERVER> holds no elements: when it "
       "holds, its attributes run as actions\n"},
      {"<R><EVENT_LOGS System_log_required=\"true\" Sys=\"1\"/></R>",
       "s.tov:1:37: warning: 'true' turns the log off: only 'Yes' turns it on\n"
       "s.tov:1:43: error: unknown attribute 'Sys' of EVENT_LOGS is ignored\n"},
      {"<R><ACTIVE_DIRECTORY><SERACH/><SEARCH><Attrib/><Scope Value=\"one\"/></SEARCH>"
       "</ACTIVE_DIRECTORY></R>",
       "s.tov:1:22: error: unknown element <SERACH> in ACTIVE_DIRECTORY is ignored\n"
       "s.tov:1:55: warning: Scope 'one' is not 'all': the search writes its header only\n"},
      {"<R><ACTIVE_DIRECTORY><DUMP Name=\"..\\evil.csv\"/></ACTIVE_DIRECTORY></R>",
       "s.tov:1:28: warning: DUMP Name '..\\evil.csv' is refused (it is a path, not a file "
       "name): the rows go to ADS_Info.csv\n"},
      {"<R><REGISTRY CON=\"HKEY_CURRENT_USER\\x\" ok=\"\"/><FILES nul.a.b=\"C:\\*.log\"/></R>",
       "s.tov:1:14: warning: action name 'CON' cannot name its file (it names a device): it is "
       "written as '_CON.txt'\n"
       "s.tov:1:54: warning: action name 'nul.a.b' cannot name its file (it names a device): it "
       "is written as '_nul.a.b'\n"},
      // What the run drops is an error; what it takes otherwise, a warning.
      {"<R><FILES a=x b=\"C:\\y\"/></R>",
       "s.tov:1:11: error: attribute 'a' is dropped: its value needs quotes\n"},
      {"<R><DEBUG a=\"1\"/></r>",
       "s.tov:1:1: warning: element <R> is never closed\n"
       "s.tov:1:18: warning: end tag </r> does not match the open element <R>\n"},
      {"<R><REGISTRY K=\"HKEY_LOCAL_MACHIN\\Software\"/></R>",
       "s.tov:1:17: error: unknown registry root 'HKEY_LOCAL_MACHIN' (HKEY_CLASSES_ROOT, "
       "HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS): the action "
       "finds nothing\n"},
      {"<R><FILES a=\"C:\\x\"><DEBUG b=\"1\"/></FILES></R>",
       "s.tov:1:4: error: <FILES> holds elements, so its 1 attribute is never run\n"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Diagnostics(c.script, false), c.diagnostics) << c.script;
}

TEST(ScriptLintTest, SignatureMissingOrStale) {
  std::string script = "<R>\n<DEBUG x=\"1\"/>\n</R>\n";
  EXPECT_EQ(Diagnostics(script, true),
            "s.tov:1:1: error: not signed: brindle.exe refuses it (tovkit sign)\n");
  script = testing_support::Signed(script);
  EXPECT_EQ(Diagnostics(script, true), "");
  // Signed behind a declaration, the end tag carries the token.
  EXPECT_EQ(Diagnostics(testing_support::Signed("<?xml version=\"1.0\"?>\n<R><DEBUG x=\"1\"/></R>"),
                        true),
            "");
  script.replace(script.find("\"1\""), 3, "\"2\"");
  EXPECT_EQ(Diagnostics(script, true),
            "s.tov:1:1: error: stale signature: the file changed after signing; brindle.exe "
            "refuses it\n");
}

TEST(ScriptLintTest, ExitStatusJsonAndTheExamplesClean) {
#ifdef _WIN32
  GTEST_SKIP() << "the source tree lies outside the test drives; the native run checks this";
#endif
  std::ostringstream out, err;
  EXPECT_EQ(tovkit::Lint({"--unsigned", std::string(BRINDLE_SOURCE_DIR) + "/examples/basics.tov"},
                         out, err),
            0)
      << out.str();
  EXPECT_EQ(out.str(), "");
  // Signed as the engineer signs it, the example lints clean.
  testing_support::ScratchFolder signedDir("lint-signed");
  const std::string basics = signedDir / "basics.tov";
  testing_support::WriteFile(basics,
                             ReadFile(std::string(BRINDLE_SOURCE_DIR) + "/examples/basics.tov"));
  ASSERT_EQ(tovkit::Sign({basics}, out, err), 0);
  out.str("");
  EXPECT_EQ(tovkit::Lint({basics}, out, err), 0);
  EXPECT_EQ(out.str(), basics + ": signature holds\n");
  EXPECT_EQ(tovkit::Lint({}, out, err), 2);
  EXPECT_EQ(tovkit::Lint({"--bogus", "x.tov"}, out, err), 2);
  // A name with a backslash and a control byte stays one JSON string.
  testing_support::ScratchFolder dir("lint");
  testing_support::WriteFile(dir / "a\\b\x1f.tov", ReadFile(kCorpus + "action_unknown_name.tov"));
  out.str("");
  EXPECT_EQ(tovkit::Lint({"--json", "--unsigned", dir / "a\\b\x1f.tov"}, out, err), 1);
  EXPECT_EQ(out.str(), "[\n  {\"file\": \"" + dir / "a\\\\b\\u001f.tov" +
                           "\", \"line\": 2, \"column\": 18, \"severity\": \"error\", \"message\": "
                           "\"unknown action 'PROCESSLIST' in section MISCELLANEOUS\"}\n]\n");
}

}  // namespace
