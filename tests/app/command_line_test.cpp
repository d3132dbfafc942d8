#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/run_settings.h"

namespace {

struct SwitchCase {
  const char* line;
  const char* name;
  bool found;
  const char* value;
  const char* rest;  // the line afterwards
};

TEST(ParseSwitch, TakesValuesAsTheCommandLineIsRead) {
  const SwitchCase cases[] = {
      {"", "/case=", false, "", ""},
      {"  /CASE=ABC", "/case=", true, "abc", ""},
      {"/case=\"a b\" /silent", "/case=", true, "a b", " /silent"},
      {"/case=\"open quote", "/case=", true, "", "\"open quote"},
      {"/case= /silent", "/case=", true, "", " /silent"},
      {"/case=", "/case=", true, "", ""},
      {"x/case=1=2 y", "/case=", true, "1=2", "x y"},
      {"/case=a /case=b", "/case=", true, "a", " /case=b"},
      {"/silentium", "/silent", true, "ium", ""},
      {"/outfile=c:\\x\\y.tgz /silent", "/outfile=", true, "c:\\x\\y.tgz", " /silent"},
      {"/event=7", "/system=", false, "", "/event=7"},
  };
  for (const SwitchCase& c : cases) {
    std::string line = c.line;
    bool found = !c.found;
    EXPECT_EQ(ParseSwitch(line, c.name, &found), c.value) << c.line;
    EXPECT_EQ(found, c.found) << c.line;
    EXPECT_EQ(line, c.rest) << c.line;
  }
}

TEST(SwitchNumber, ReadsLikeTheCRuntime) {
  EXPECT_EQ(SwitchNumber("7"), 7);
  EXPECT_EQ(SwitchNumber("  -3x"), -3);
  EXPECT_EQ(SwitchNumber("+12"), 12);
  EXPECT_EQ(SwitchNumber("abc"), 0);
  EXPECT_EQ(SwitchNumber(""), 0);
  EXPECT_EQ(SwitchNumber("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(SwitchNumber("-99999999999999999999"), INT32_MIN);
}

TEST(ParseCommandLine, FillsEveryField) {
  RunSettings s;
  ParseCommandLine(
      "/EVENT=abc /application=5 /security=-1 /system=30 /case=\"My Case\" "
      "/xmlfile=a.tov /outfile=out\\R.tgz /silent",
      s);
  EXPECT_TRUE(s.eventDaysGiven);
  EXPECT_EQ(s.eventDays, 0);
  EXPECT_TRUE(s.applicationDaysGiven);
  EXPECT_EQ(s.applicationDays, 5);
  EXPECT_EQ(s.securityDays, -1);
  EXPECT_EQ(s.systemDays, 30);
  EXPECT_TRUE(s.caseIdGiven);
  EXPECT_EQ(s.caseId, "my case");
  EXPECT_EQ(s.xmlFile, "a.tov");
  EXPECT_EQ(s.outFile, "out\\r.tgz");
  EXPECT_TRUE(s.silent);
}

TEST(ParseCommandLine, EmptyLineLeavesInitialValues) {
  RunSettings s;
  ParseCommandLine("", s);
  EXPECT_FALSE(s.eventDaysGiven || s.applicationDaysGiven || s.securityDaysGiven ||
               s.systemDaysGiven || s.caseIdGiven || s.silent);
  EXPECT_EQ(s.caseId, "");
  EXPECT_EQ(s.outFile, "");
}

TEST(ParseCommandLine, CaseFollowedBySpaceIsEmptyButGiven) {
  RunSettings s;
  ParseCommandLine("/case= /silent", s);
  EXPECT_TRUE(s.caseIdGiven);
  EXPECT_EQ(s.caseId, "");
  EXPECT_TRUE(s.silent);
}

TEST(WantsHelp, AnywhereInTheLine) {
  EXPECT_TRUE(WantsHelp("/?"));
  EXPECT_TRUE(WantsHelp("/case=1 x/?y"));
  EXPECT_FALSE(WantsHelp("/case=?"));
}

}  // namespace
