#include "run/signature.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

using testing_support::Signed;

// Stored scripts depend on these exact letters: this test must never change.
TEST(SignatureTest, AlphabetAndTokenArePinned) {
  EXPECT_EQ(TextCrc("123456789"), 0xCBF43926u);  // the CRC-32 check value
  std::string text = "<R></R>";
  ASSERT_TRUE(InsertSignature(&text, 0xCBF43926u));
  EXPECT_EQ(text, "<R_NVYKQPHW></R_NVYKQPHW>");
  text = "<R>x</R>";
  ASSERT_TRUE(InsertSignature(&text, 0x1Au));
  EXPECT_EQ(text, "<R_MMMMMMZJ>x</R_MMMMMMZJ>");
}

TEST(SignatureTest, SignedTextsCheckAndAnyChangeFails) {
  const std::string texts[] = {
      "<?xml version=\"1.0\"?>\r\n<SCRIPT>\r\n<FILES Logs=\"%WINDIR%\\*.log\"/>\r\n</SCRIPT>\r\n",
      std::string("a>\xff\x80 _ >b", 9),
  };
  for (const std::string& text : texts) {
    const std::string signature = Signed(text);
    EXPECT_TRUE(CheckSignature(signature)) << text;
    for (size_t i = 0; i < signature.size(); ++i) {
      std::string changed = signature;
      changed[i] = static_cast<char>(changed[i] ^ 0x01);
      EXPECT_FALSE(CheckSignature(changed)) << text << " byte " << i;
    }
  }
  // The second token is checked, not removed unread: otherwise the 9 bytes
  // before the last ">" could change freely.
  std::string text = Signed("<R><E a='1'/></R>");
  text.replace(text.rfind('_'), 9, "><A b='c'");
  EXPECT_FALSE(CheckSignature(text));
  std::string copy = text;
  EXPECT_FALSE(StripSignature(&copy));
  EXPECT_EQ(copy, text);
}

TEST(SignatureTest, TextsThatCannotCarryASignature) {
  const struct {
    std::string text;
    bool checks;  // stored 0 against the real CRC-32
  } kCases[] = {
      {"", true},        // an empty script: both values 0
      {">abc>", false},  // the only place before a ">" is the start
      {"_MMMMMMMM>", false},
  };
  for (const auto& c : kCases) {
    std::string text = c.text;
    EXPECT_FALSE(InsertSignature(&text, 5)) << c.text;
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(ReadSignature(text), 0u);
    EXPECT_FALSE(StripSignature(&text));
    EXPECT_EQ(CheckSignature(text), c.checks) << c.text;
  }
  EXPECT_EQ(ReadSignature("MMMMMMMZ>x>"), 0u);  // no room for the "_"
  // A "_" not exactly nine characters before the first ">", or no digit.
}

}  // namespace
