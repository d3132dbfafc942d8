#include "run/local_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// Looks up Tool_Title in `profile`: "SECTION=value" words, value to the end.
std::string LookUp(uint32_t lcid, const std::string& profile, const char* fallback = "built in") {
  const auto read = [&](const std::string& section, const std::string& key) {
    EXPECT_EQ(key, "Tool_Title");
    std::istringstream words(profile);
    for (std::string word; words >> word;) {
      if (word.rfind(section + "=", 0) == 0) return word.substr(5);
    }
    return std::string();
  };
  return LookUpLocalText(lcid, "Tool", "Title", fallback, read);
}

TEST(LocalTextTest, FallsBackSectionBySectionThenToTheDefault) {
  const struct {
    uint32_t lcid;
    const char *profile, *expected;
  } cases[] = {
      {0x0807, "0807=Exact 0007=Language 0407=Default", "Exact"},
      {0x0807, "0807= 0007= 0407=Default", "Default"},  // empty counts as missing
      {0x0807, "0807= 0007= 0407= 0409=Other", "built in"},
      {0x0C0C, "0c0c=Other 000C=Language 040C=Default", "Language"},  // upper-case hexadecimal
  };
  for (const auto& c : cases) EXPECT_EQ(LookUp(c.lcid, c.profile), c.expected) << c.profile;
}

TEST(LocalTextTest, EscapesAndTheLengthLimit) {
  EXPECT_EQ(ExpandTextEscapes("a\\nb\\tc\\n"), "a\nb\tc\n");
  EXPECT_EQ(ExpandTextEscapes("C:\\temp\\x"), "C:\temp\\x");  // as the lookup has always done
  EXPECT_EQ(LookUp(0x0409, "0409=" + std::string(1030, 'x')), std::string(1023, 'x'));
  // Cut first, then expanded: the pair that straddles the limit stays a backslash.
  EXPECT_EQ(LookUp(0x0409, "0409=" + std::string(1022, 'x') + "\\n"),
            std::string(1022, 'x') + "\\");
  EXPECT_EQ(LookUp(0x0409, "", "one\\ntwo"), "one\ntwo");
}

}  // namespace
