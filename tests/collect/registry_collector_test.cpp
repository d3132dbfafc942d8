#include "collect/registry_collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(RegistryCollectorText, ValueTextForEveryType) {
  const struct {
    uint32_t type;
    std::string data;
    const char* text;
  } cases[] = {
      {1, "abc", "\"abc\""},                          // a string unterminated ends at its length
      {4, "\xEF\xBE\xAD\xDE\x11", "dword:DEADBEEF"},  // only the first four bytes
      {4, "\x01\x02", "dword:00000201"},              // short data: missing bytes are 0
      {5, std::string("\0\0\0\x01", 4), "hex(5):00,00,00,01"},  // big-endian DWORD
  };
  for (const auto& c : cases) {
    // A copy of exactly the data's length, so that a read past it shows.
    const std::vector<uint8_t> data(c.data.begin(), c.data.end());
    EXPECT_EQ(RegistryValueText(c.type, data.data(), data.size()), c.text) << c.type;
  }
  EXPECT_EQ(RegistryValueText(1, nullptr, 5), "\"\"");
}

TEST(RegistryCollectorText, NumberedOutputFiles) {
  // The last "." decides; none gives an empty extension.
  EXPECT_EQ(NumberedPattern(SplitNumberedOutput("a.b\\c.d.txt")), "a.b\\c.d(%d).txt");
  // A "%" in a name is text, never a conversion.
  EXPECT_EQ(NumberedFileName(SplitNumberedOutput("D:\\100%s\\%n.txt"), 12),
            "D:\\100%s\\%n(12).txt");
}

TEST(RegistryCollectorText, EditorArgumentsSurviveTheCommandLineRules) {
  const std::pair<const char*, const char*> cases[] = {
      // A closing backslash would escape the closing quote.
      {"HKEY_CURRENT_USER\\X\\", "\"HKEY_CURRENT_USER\\X\\\\\""},
      {"X\\\\", "\"X\\\\\\\\\""},
      // An embedded quote is escaped; backslashes before it doubled first.
      {"a\"b", "\"a\\\"b\""},
      {"a\\\"b", "\"a\\\\\\\"b\""},
      {"", "\"\""},
  };
  for (const auto& c : cases) EXPECT_EQ(QuoteArgument(c.first), c.second) << c.first;
}

}  // namespace
