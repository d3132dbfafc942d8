#include "script/signature.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

std::string Signed(std::string text) {
  EXPECT_TRUE(InsertSignature(&text, TextCrc(text)));
  return text;
}

// Stored scripts depend on these exact letters: this test must never change.
TEST(SignatureTest, AlphabetAndTokenArePinned) {
  std::string token = "0123456789ABCDEF";
  EncodeSignature(&token);
  EXPECT_EQ(token, "MZHQKTWGRPJVNLSY");
  DecodeSignature(&token);
  EXPECT_EQ(token, "0123456789ABCDEF");

  std::string foreign = "0a_G";
  EncodeSignature(&foreign);
  EXPECT_EQ(foreign, "MXXX");
  foreign = "MAX1";
  DecodeSignature(&foreign);
  EXPECT_EQ(foreign, "0XXX");

  EXPECT_EQ(TextCrc("123456789"), 0xCBF43926u);  // the CRC-32 check value
  EXPECT_EQ(TextCrc(""), 0u);
  std::string text = "<R></R>";
  ASSERT_TRUE(InsertSignature(&text, 0xCBF43926u));
  EXPECT_EQ(text, "<R_NVYKQPHW></R_NVYKQPHW>");
  EXPECT_EQ(ReadSignature(text), 0xCBF43926u);
  text = "<R>x</R>";
  ASSERT_TRUE(InsertSignature(&text, 0x1Au));
  EXPECT_EQ(text, "<R_MMMMMMZJ>x</R_MMMMMMZJ>");
}

TEST(SignatureTest, SignedTextsCheckAndStripBackToTheOriginal) {
  const std::string texts[] = {
      "<R></R>",
      "<?xml version=\"1.0\"?>\r\n<SCRIPT>\r\n<FILES Logs=\"%WINDIR%\\*.log\"/>\r\n</SCRIPT>\r\n",
      "<FILE_LIST_START>\r\nActivity Log.csv,0\r\n<FILE_LIST_END>\r\n",
      "x>>",
      std::string("a>\xff\x80 _ >b", 9),
      "<R>" + std::string(100000, 'z') + "</R>",
  };
  for (const std::string& text : texts) {
    const std::string signature = Signed(text);
    EXPECT_EQ(signature.size(), text.size() + 18);
    EXPECT_TRUE(CheckSignature(signature)) << text.substr(0, 40);
    EXPECT_EQ(ReadSignature(signature), TextCrc(text));
    std::string stripped = signature;
    ASSERT_TRUE(StripSignature(&stripped));
    EXPECT_EQ(stripped, text);
  }
}

TEST(SignatureTest, AnyChangeFailsTheCheck) {
  const std::string text = "<SCRIPT><FILES a=\"C:\\x\"/><DEBUG b='1'/></SCRIPT>";
  const std::string signature = Signed(text);
  for (size_t i = 0; i < signature.size(); ++i) {
    std::string changed = signature;
    changed[i] = static_cast<char>(changed[i] ^ 0x01);
    EXPECT_FALSE(CheckSignature(changed)) << "byte " << i;
  }
  // Another valid-looking first token, and the same change in both tokens.
  std::string changed = signature;
  changed.replace(8, 1, "Z");
  EXPECT_FALSE(CheckSignature(changed));
  const size_t second = signature.rfind('_');
  changed.replace(second + 1, 1, "Z");
  EXPECT_FALSE(CheckSignature(changed));
}

TEST(SignatureTest, TwoDifferingTokensFail) {
  // Removing the second token unread would let the 9 bytes before the last
  // ">" change freely; the second token must equal the first.
  std::string text = Signed("<R><E a='1'/></R>");
  const size_t second = text.rfind('_');
  text.replace(second, 9, "><A b='c'");
  EXPECT_FALSE(CheckSignature(text));
  std::string copy = text;
  EXPECT_FALSE(StripSignature(&copy));
  EXPECT_EQ(copy, text);
}

TEST(SignatureTest, TextsThatCannotCarryASignature) {
  struct Case {
    std::string text;
    bool checks;  // stored 0 against the real CRC-32
  };
  const Case cases[] = {
      {"", true},  // an empty script: both values 0
      {"<R/", false},
      {"<R/>", false},
      {">abc>", false},  // the only place before a ">" is the start
      {"_MMMMMMMM>", false},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_FALSE(InsertSignature(&text, 5)) << c.text;
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(ReadSignature(text), 0u);
    EXPECT_FALSE(StripSignature(&text));
    EXPECT_EQ(CheckSignature(text), c.checks) << c.text;
  }
  // A "_" not exactly nine characters before the first ">", or no digit.
  EXPECT_EQ(ReadSignature("<R_MMMMMMMMM></R_MMMMMMMMM>"), 0u);
  EXPECT_EQ(ReadSignature("<R_XXXXXXXX></R_XXXXXXXX>"), 0u);
  EXPECT_EQ(ReadSignature("<R_ZZXXXXXX></R_ZZXXXXXX>"), 0x11u);  // digits up to the first other
  // Overlapping places cannot hold two tokens.
  std::string overlapped = "<R_MMMMMMMM>abc>";
  EXPECT_FALSE(StripSignature(&overlapped));
}

TEST(SignatureTest, FilesAreReadToTheFirstZeroAndWrittenInPlace) {
  testing_support::ScratchFolder folder;
  const std::string path = folder / "FileList.csv";
  testing_support::WriteFile(path, std::string("<A>\r\n<B>\0tail", 12));
  std::string text = "stale";
  ASSERT_TRUE(ReadTextFile(&text, path));
  EXPECT_EQ(text, "<A>\r\n<B>");
  EXPECT_FALSE(ReadTextFile(&text, folder / "missing"));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(ReadTextFile(&text, ""));

  // Overwrites from the start; what lies beyond the text stays.
  ASSERT_TRUE(WriteTextFile("<Z>", path));
  EXPECT_EQ(testing_support::ReadFile(path), std::string("<Z>\r\n<B>\0tail", 12));
  EXPECT_FALSE(WriteTextFile("x", folder / "new.csv"));
  EXPECT_FALSE(testing_support::FileExists(folder / "new.csv"));
  EXPECT_FALSE(WriteTextFile("", path));
  EXPECT_FALSE(WriteTextFile("x", ""));

  // The signing sequence of the run's file list.
  const std::string list = "<FILE_LIST_START>\r\nx,1\r\n<FILE_LIST_END>\r\n";
  testing_support::WriteFile(path, list);
  ASSERT_TRUE(ReadTextFile(&text, path));
  ASSERT_TRUE(InsertSignature(&text, TextCrc(text)));
  ASSERT_TRUE(WriteTextFile(text, path));
  const std::string written = testing_support::ReadFile(path);
  EXPECT_EQ(written.size(), list.size() + 18);
  EXPECT_TRUE(CheckSignature(written));
}

}  // namespace
