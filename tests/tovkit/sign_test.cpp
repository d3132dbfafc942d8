#include "sign.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "script/signature.h"
#include "support/test_support.h"
#include "tovkit.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Invoke(int (*command)(const std::vector<std::string>&, std::ostream&, std::ostream&),
               const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = command(args, out, err);
  return {status, out.str(), err.str()};
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

const char kScript[] =
    "<?xml version=\"1.0\"?>\r\n<SCRIPT>\r\n<FILES Logs=\"x\"/>\r\n</SCRIPT>\r\n";
const char kFileList[] = "<FILE_LIST_START>\r\nActivity Log.csv,1\r\n<FILE_LIST_END>\r\n";

TEST(TovkitSignTest, SignsFilesThatVerifyAsBrindleChecksThem) {
  testing_support::ScratchFolder folder;
  const std::string script = folder / "a.tov", list = folder / "FileList.csv";
  WriteFile(script, kScript);
  WriteFile(list, kFileList);

  const Outcome signing = Invoke(tovkit::Sign, {script, list});
  EXPECT_EQ(signing.status, 0) << signing.err;
  std::string expected = kScript;
  InsertSignature(&expected, TextCrc(kScript));
  EXPECT_EQ(ReadFile(script), expected);
  EXPECT_TRUE(CheckSignature(ReadFile(list)));

  const Outcome check = Invoke(tovkit::Verify, {script, list});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, "OK  " + script + "\nOK  " + list + "\n");
}

TEST(TovkitSignTest, SigningAgainReplacesTheTokensAndNeverStacksThem) {
  testing_support::ScratchFolder folder;
  const std::string path = folder / "a.tov";
  WriteFile(path, kScript);
  ASSERT_EQ(Invoke(tovkit::Sign, {path}).status, 0);
  const std::string once = ReadFile(path);

  const Outcome again = Invoke(tovkit::Sign, {path});
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.out.find("signed already"), std::string::npos);
  EXPECT_EQ(ReadFile(path), once);

  // Edited between the tokens, then with tokens that no longer agree.
  std::string edited = once;
  edited.replace(edited.find("Logs"), 4, "Dump");
  const std::string variants[] = {edited,
                                  edited.substr(0, edited.rfind('_') + 1) + "MMMMMMMM>\r\n"};
  for (const std::string& variant : variants) {
    WriteFile(path, variant);
    EXPECT_EQ(Invoke(tovkit::Verify, {path}).status, 1);
    ASSERT_EQ(Invoke(tovkit::Sign, {path}).status, 0);
    const std::string resigned = ReadFile(path);
    EXPECT_EQ(resigned.size(), once.size());
    EXPECT_EQ(Count(resigned, "_"), 2u);
    EXPECT_TRUE(CheckSignature(resigned));
    EXPECT_NE(resigned.find("Dump"), std::string::npos);
  }
}

TEST(TovkitSignTest, FilesThatCannotBeSignedAreLeftAlone) {
  testing_support::ScratchFolder folder;
  const std::string single = folder / "single.tov", zero = folder / "zero.tov",
                    good = folder / "good.tov";
  WriteFile(single, "<SCRIPT/");
  WriteFile(zero, std::string("<A>\0<B>", 7));
  WriteFile(good, kScript);

  const Outcome signing = Invoke(tovkit::Sign, {single, folder / "missing.tov", zero, good});
  EXPECT_EQ(signing.status, 1);
  EXPECT_EQ(ReadFile(single), "<SCRIPT/");
  EXPECT_EQ(ReadFile(zero), std::string("<A>\0<B>", 7));
  EXPECT_NE(signing.err.find(single + ": cannot be signed"), std::string::npos);
  EXPECT_NE(signing.err.find("missing.tov: cannot be read"), std::string::npos);
  EXPECT_NE(signing.err.find("zero byte"), std::string::npos);
  EXPECT_TRUE(CheckSignature(ReadFile(good)));  // the others are still signed
}

TEST(TovkitSignTest, VerifyNamesStoredAndComputedValues) {
  testing_support::ScratchFolder folder;
  const std::string bad = folder / "bad.tov", empty = folder / "empty.tov";
  WriteFile(bad, "<R_MMMMMMZJ>x</R_MMMMMMZJ>");  // 0000001A
  WriteFile(empty, "");
  const Outcome check = Invoke(tovkit::Verify, {bad, empty, folder / "missing.tov"});
  EXPECT_EQ(check.status, 1);
  char computed[9];
  std::snprintf(computed, sizeof computed, "%08X", TextCrc("<R>x</R>"));
  EXPECT_EQ(check.out, "BAD " + bad + ": stored 0000001A, computed " + computed + "\n" +  //
                           "OK  " + empty + "\n" +  // as brindle.exe: an empty script passes
                           "BAD " + folder / "missing.tov" + ": cannot be read\n");
}

TEST(TovkitSignTest, HelpAndUsage) {
  for (auto command : {tovkit::Sign, tovkit::Verify}) {
    const Outcome help = Invoke(command, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: tovkit ", 0), 0u);
    const Outcome none = Invoke(command, {});
    EXPECT_EQ(none.status, 2);
    EXPECT_FALSE(none.err.empty());
  }
  EXPECT_EQ(tovkit::Main({"verify", "--help"}), 0);
  EXPECT_EQ(tovkit::Main({"sign"}), 2);
}

}  // namespace
