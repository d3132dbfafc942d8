#include "collect/registry_collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string ValueText(uint32_t type, const std::vector<uint8_t>& data) {
  return RegistryValueText(type, data.data(), data.size());
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(RegistryValueTextTest, StringsEndAtTheirZeroOrTheirLength) {
  EXPECT_EQ("\"abc\"", ValueText(1, Bytes(std::string("abc\0", 4))));
  EXPECT_EQ("\"\"", ValueText(1, {}));
  // A terminator alone is a present, empty string.
  EXPECT_EQ("\"\"", ValueText(1, {0}));
  // Text after the first zero is not part of the string.
  EXPECT_EQ("\"ab\"", ValueText(1, Bytes(std::string("ab\0cd\0", 6))));
  // Stored without a terminator: the data's length ends it, nothing past it is read.
  EXPECT_EQ("\"abc\"", ValueText(1, Bytes("abc")));
  // Quotes and backslashes are written as they are.
  EXPECT_EQ("\"C:\\a \"b\"\"", ValueText(1, Bytes(std::string("C:\\a \"b\"\0", 10))));
  EXPECT_EQ("\"\"", RegistryValueText(1, nullptr, 5));
}

TEST(RegistryValueTextTest, DwordIsLittleEndianInEightUpperCaseDigits) {
  struct Case {
    std::vector<uint8_t> data;
    const char* text;
  } cases[] = {
      {{10, 0, 0, 0}, "dword:0000000A"},
      {{0x78, 0x56, 0x34, 0x12}, "dword:12345678"},
      {{0xFF, 0xFF, 0xFF, 0xFF}, "dword:FFFFFFFF"},
      {{0xEF, 0xBE, 0xAD, 0xDE, 0x11}, "dword:DEADBEEF"},  // only the first four bytes
      {{0x01, 0x02}, "dword:00000201"},                    // short data: missing bytes are 0
      {{}, "dword:00000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, ValueText(4, c.data));
}

TEST(RegistryValueTextTest, OtherTypesAreHexBytes) {
  struct Case {
    uint32_t type;
    std::vector<uint8_t> data;
    const char* text;
  } cases[] = {
      {3, {}, "hex:"},
      {3, {0x00}, "hex:00"},
      {3, {0x01, 0xAB, 0xFF}, "hex:01,AB,FF"},
      {2, {'%', 0}, "hex(2):25,00"},  // REG_EXPAND_SZ, terminator included
      {7, {'a', 0, 'b', 0, 0}, "hex(7):61,00,62,00,00"},
      {0, {}, "hex(0):"},
      {11, {1, 0, 0, 0, 0, 0, 0, 0}, "hex(11):01,00,00,00,00,00,00,00"},
      {5, {0, 0, 0, 1}, "hex(5):00,00,00,01"},  // big-endian DWORD is not "dword:"
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, ValueText(c.type, c.data)) << c.type;

  std::vector<uint8_t> large(20000, 0x5A);
  const std::string text = ValueText(3, large);
  EXPECT_EQ(4 + 20000 * 3 - 1, text.size());
  EXPECT_EQ("5A,5A", text.substr(text.size() - 5));
}

TEST(RegistryCollectorTextTest, SpecificationKindAndRoots) {
  EXPECT_TRUE(IsKeyPathSpecification("HKEY_LOCAL_MACHINE\\Software"));
  EXPECT_TRUE(IsKeyPathSpecification("HKEY_"));
  EXPECT_FALSE(IsKeyPathSpecification("hkey_local_machine\\Software"));
  EXPECT_FALSE(IsKeyPathSpecification("HKEY"));
  EXPECT_FALSE(IsKeyPathSpecification("Run"));
  EXPECT_FALSE(IsKeyPathSpecification(""));

  EXPECT_EQ(0, FindRegistryRoot("HKEY_CLASSES_ROOT"));
  EXPECT_EQ(3, FindRegistryRoot("hkey_local_machine"));
  EXPECT_EQ(4, FindRegistryRoot("HKEY_Users"));
  EXPECT_EQ(-1, FindRegistryRoot("HKEY_LOCAL_MACHIN"));
  EXPECT_EQ(-1, FindRegistryRoot("HKEY_LOCAL_MACHINEX"));
  EXPECT_EQ(-1, FindRegistryRoot("HKLM"));
  EXPECT_EQ(-1, FindRegistryRoot(""));

  std::string root, subkey;
  ASSERT_TRUE(SplitKeyPath("HKEY_LOCAL_MACHINE\\Software\\Wine", &root, &subkey));
  EXPECT_EQ("HKEY_LOCAL_MACHINE", root);
  EXPECT_EQ("Software\\Wine", subkey);
  ASSERT_TRUE(SplitKeyPath("HKEY_USERS\\", &root, &subkey));
  EXPECT_EQ("", subkey);
  EXPECT_FALSE(SplitKeyPath("HKEY_LOCAL_MACHINE", &root, &subkey));
}

TEST(RegistryCollectorTextTest, NumberedOutputFiles) {
  const NumberedOutput keys = SplitNumberedOutput("D:\\t\\~BX_TEMP\\Setup\\Keys.txt");
  EXPECT_EQ("D:\\t\\~BX_TEMP\\Setup\\Keys(%d).txt", NumberedPattern(keys));
  EXPECT_EQ("D:\\t\\~BX_TEMP\\Setup\\Keys(1).txt", NumberedFileName(keys, 1));
  EXPECT_EQ("D:\\t\\~BX_TEMP\\Setup\\Keys(12).txt", NumberedFileName(keys, 12));

  // The last "." decides; none gives an empty extension.
  EXPECT_EQ("a.b\\c.d(%d).txt", NumberedPattern(SplitNumberedOutput("a.b\\c.d.txt")));
  EXPECT_EQ("Keys(%d)", NumberedPattern(SplitNumberedOutput("Keys")));
  // A "%" in a name is text, never a conversion.
  EXPECT_EQ("D:\\100%s\\%n(2).txt", NumberedFileName(SplitNumberedOutput("D:\\100%s\\%n.txt"), 2));
}

}  // namespace
