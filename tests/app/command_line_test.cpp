#include "app/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "run/run_settings.h"

namespace {

// The fields a command line set, in the record's order.
std::string Parsed(const char* line) {
  RunSettings s;
  ParseCommandLine(line, s);
  std::ostringstream out;
  if (s.eventDaysGiven) out << " event=" << s.eventDays;
  if (s.applicationDaysGiven) out << " application=" << s.applicationDays;
  if (s.securityDaysGiven) out << " security=" << s.securityDays;
  if (s.systemDaysGiven) out << " system=" << s.systemDays;
  if (s.caseIdGiven) out << " case=" << s.caseId;
  out << (s.xmlFile.empty() ? "" : " xml=") << s.xmlFile;
  out << (s.outFile.empty() ? "" : " out=") << s.outFile;
  if (s.silent) out << " silent";
  return out.str();
}

TEST(ParseCommandLine, TakesEachSwitchAsTheLineIsRead) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"/EVENT=abc /application=5 /security=-1 /system=30 /case=\"My Case\" /xmlfile=a.tov "
       "/outfile=out\\R.tgz /silent",
       " event=0 application=5 security=-1 system=30 case=my case xml=a.tov out=out\\r.tgz silent"},
      {"/case=\"open quote", " case=open quote"},    // a quote groups to the line's end
      {"/case=\"\" \"\" /silent", " case= silent"},  // empty, not a quote
      {"x/case=1=2 y", " case=1=2"},
      {"/case=a /case=b", " case=a"},
      {"/case=/event=5", " event=5 case="},        // the day counts are taken first
      {"/xmlfile=a/case=\"x\"", " case=x xml=a"},  // both quotes go
      {"/silentium", " silent"},
      {"/system=+12x /outfile=\"a b\"/xmlfile=c", " system=12 xml=c out=a b"},
      {"/event=99999999999999999999 /system=-99999999999999999999",
       " event=2147483647 system=-2147483648"},  // saturated
      // A quoted argument is one switch, wherever its quotes stand.
      {"\"/outfile=C:\\Out Dir\\r.tgz\" /silent", " out=c:\\out dir\\r.tgz silent"},
      {"/outfile=\"C:\\Out Dir\\r.tgz\"\t/silent", " out=c:\\out dir\\r.tgz silent"},
      {"/outfile=C:\\Out\\ Dir", " out=c:\\out\\"},
      // 2n backslashes before a quote give n, 2n+1 give n and a quote.
      {"/case=a\\\\\"b c\" /xmlfile=x\\\"y", " case=a\\b c xml=x\"y"},
      {"/case=\"a \"\"q\"\" b\"", " case=a \"q\" b"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parsed(c.first), c.second) << c.first;
}

}  // namespace
