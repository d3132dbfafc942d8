#include "app/local_text.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using Profile = std::map<std::string, std::map<std::string, std::string>>;

// The INI reading that GetPrivateProfileStringA does, as far as our files
// use it: [section] lines, key=value lines, ";" comments, blanks trimmed.
Profile ParseProfile(const std::string& bytes) {
  Profile profile;
  std::string section;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t equals = line.find('=');
    if (equals != std::string::npos) {
      profile[section][line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  return profile;
}

ProfileReader ReaderOf(const Profile& profile, std::vector<std::string>* asked = nullptr) {
  return [&profile, asked](const std::string& section, const std::string& key) {
    if (asked) asked->push_back(section);
    const auto s = profile.find(section);
    if (s == profile.end()) return std::string();
    const auto k = s->second.find(key);
    return k == s->second.end() ? std::string() : k->second;
  };
}

TEST(LocalTextTest, SectionsAndFileName) {
  struct Case {
    uint32_t lcid;
    const char* sections;
  };
  for (const Case& c : {Case{0x0409, "0409 0009 0409"}, Case{0x0807, "0807 0007 0407"},
                        Case{0x0411, "0411 0011 0411"}, Case{0x0C0C, "0C0C 000C 040C"}}) {
    std::string s[3];
    LocalTextSections(c.lcid, s);
    EXPECT_EQ(s[0] + " " + s[1] + " " + s[2], c.sections);
  }
  EXPECT_EQ(LocalisationFilePath("C:\\Tools\\brindle.exe"), "C:\\Tools\\brindle.LOC");
  EXPECT_EQ(LocalisationFilePath("C:\\Tools\\collect.v2.exe"), "C:\\Tools\\collect.v2.LOC");
  EXPECT_EQ(LocalisationFilePath("C:\\Tools\\brindle"), "");
}

TEST(LocalTextTest, FallsBackSectionBySectionThenToTheDefault) {
  const Profile profile = {
      {"0807", {{"Tool_Title", "Exact"}, {"Tool_Help", ""}, {"Files_WorkMsg", ""}}},
      {"0007", {{"Tool_Help", "Language"}, {"Archive_WorkMsg", "Language"}}},
      {"0407", {{"Tool_Help", "Default"}, {"Tool_WaitMsg", "Default"}, {"Files_WorkMsg", ""}}},
  };
  struct Case {
    uint32_t lcid;
    const char* group;
    const char* name;
    const char* expected;
    const char* asked;
  };
  const Case cases[] = {
      {0x0807, "Tool", "Title", "Exact", "0807"},
      {0x0807, "Tool", "Help", "Language", "0807 0007"},  // empty counts as missing
      {0x0807, "Tool", "WaitMsg", "Default", "0807 0007 0407"},
      {0x0807, "Files", "WorkMsg", "built in", "0807 0007 0407"},  // empty everywhere
      {0x0807, "Tool", "Filename", "built in", "0807 0007 0407"},
      {0x0407, "Archive", "WorkMsg", "Language", "0407 0007"},
      {0x0409, "Tool", "Title", "built in", "0409 0009 0409"},
      {0x0807, "tool", "title", "built in", "0807 0007 0407"},  // keys as the file has them
  };
  for (const Case& c : cases) {
    std::vector<std::string> asked;
    EXPECT_EQ(LookUpLocalText(c.lcid, c.group, c.name, "built in", ReaderOf(profile, &asked)),
              c.expected)
        << c.group << "_" << c.name;
    std::string joined;
    for (const std::string& s : asked) joined += (joined.empty() ? "" : " ") + s;
    EXPECT_EQ(joined, c.asked) << c.group << "_" << c.name;
  }
}

TEST(LocalTextTest, EscapesAndTheLengthLimit) {
  EXPECT_EQ(ExpandTextEscapes("a\\nb\\tc\\n"), "a\nb\tc\n");
  EXPECT_EQ(ExpandTextEscapes("C:\\temp\\x"), "C:\temp\\x");  // as the lookup has always done
  EXPECT_EQ(ExpandTextEscapes("\\\\n\\"), "\\\n\\");

  const Profile profile = {
      {"0409", {{"A_Long", std::string(1030, 'x')}, {"A_Edge", std::string(1022, 'x') + "\\n"}}}};
  EXPECT_EQ(LookUpLocalText(0x0409, "A", "Long", "", ReaderOf(profile)), std::string(1023, 'x'));
  // Cut first, then expanded: the pair that straddles the limit stays a backslash.
  EXPECT_EQ(LookUpLocalText(0x0409, "A", "Edge", "", ReaderOf(profile)),
            std::string(1022, 'x') + "\\");
  EXPECT_EQ(LookUpLocalText(0x0409, "A", "None", "one\\ntwo", ReaderOf(profile)), "one\ntwo");
  EXPECT_EQ(LocalText("Tool", "Title", "Brindle Tool"), "Brindle Tool");  // no file here
}

// Every text of the program, with the conversions its callers put in.
const char* const kKeys[] = {
    "Tool_Help",
    "Tool_Title",
    "Tool_WaitMsg",
    "Tool_Filename",
    "Tool_FileDesc",
    "WriteError_Title",
    "WriteError_Message",
    "Files_WorkMsg",
    "FileVersions_WorkMsg",
    "Registry_WorkMsg",
    "Debug_WorkMsg",
    "Execute_WorkMsg",
    "Execute_WaitMsg",
    "EventLogs_WorkMsg",
    "ProcessList_WorkMsg",
    "ActiveDirectory_WorkMsg",
    "Archive_WorkMsg",
    "ClearText_WarningMessage",
    "ClearText_WarningSizeMessage",
};
const std::map<std::string, std::string> kConversions = {
    {"Files_WorkMsg", "%s"},
    {"FileVersions_WorkMsg", "%s"},
    {"Registry_WorkMsg", "%s"},
    {"Debug_WorkMsg", "%s"},
    {"Execute_WorkMsg", "%s"},
    {"Execute_WaitMsg", "%s"},
    {"ClearText_WarningMessage", "%s%d"},
};

TEST(LocalTextTest, ShippedFileTranslatesEveryText) {
#ifdef _WIN32
  GTEST_SKIP() << "the source tree lies outside every Wine drive";
#endif
  const std::string bytes = testing_support::ReadFile(BRINDLE_SOURCE_DIR "/examples/brindle.LOC");
  ASSERT_FALSE(bytes.empty());
  for (size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1)) {
    ASSERT_TRUE(at > 0 && bytes[at - 1] == '\r') << "line end without CR at byte " << at;
  }
  const Profile profile = ParseProfile(bytes);
  ASSERT_TRUE(profile.count("0407"));
  const std::regex conversion("%[a-z]");
  for (const char* key : kKeys) {
    const std::string german = profile.at("0407").count(key) ? profile.at("0407").at(key) : "";
    EXPECT_FALSE(german.empty()) << key;
    std::string found;
    for (std::sregex_iterator it(german.begin(), german.end(), conversion), end; it != end; ++it) {
      found += it->str();
    }
    const auto expected = kConversions.find(key);
    EXPECT_EQ(found, expected == kConversions.end() ? "" : expected->second) << key;
  }
  // Swiss German: its own sharp-s-free text where it has one, the rest from 0407.
  const std::string size =
      LookUpLocalText(0x0807, "ClearText", "WarningSizeMessage", "", ReaderOf(profile));
  EXPECT_EQ(size.substr(0, 2), "\n\n");
  EXPECT_EQ(size.find('\xdf'), std::string::npos);
  EXPECT_EQ(LookUpLocalText(0x0807, "Archive", "WorkMsg", "", ReaderOf(profile)),
            "Komprimiere Ergebnisse");
}

}  // namespace
