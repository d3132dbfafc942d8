#include "sign.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "support/test_support.h"

namespace {

using testing::AllOf;
using testing::HasSubstr;
using testing_support::ReadFile;
using testing_support::Signed;
using testing_support::WriteFile;

// The exit status, a space, then what went to stdout and stderr.
std::string Tovkit(int (*command)(const std::vector<std::string>&, std::ostream&, std::ostream&),
                   const std::vector<std::string>& args) {
  std::ostringstream out;
  const int status = command(args, out, out);
  return std::to_string(status) + " " + out.str();
}

const char kScript[] = "<?xml version=\"1.0\"?>\r\n<S>\r\n<FILES Logs=\"x\"/>\r\n</S>\r\n";

TEST(TovkitSign, SignsAndVerifiesAsBrindleChecks) {
  testing_support::ScratchFolder folder;
  const std::string script = folder / "a.tov", single = folder / "single.tov",
                    zero = folder / "zero.tov", missing = folder / "missing.tov";
  WriteFile(script, Signed(kScript));
  EXPECT_NE(Tovkit(tovkit::Sign, {script}).find("signed already"), std::string::npos);
  EXPECT_EQ(ReadFile(script), Signed(kScript));

  // Failures are named and leave the files alone; the others are signed.
  WriteFile(single, "<SCRIPT/");
  WriteFile(zero, std::string("<A>\0<B>", 7));
  WriteFile(script, kScript);
  const std::string signing = Tovkit(tovkit::Sign, {single, missing, zero, script});
  EXPECT_EQ(signing[0], '1');
  EXPECT_THAT(signing, AllOf(HasSubstr(single + ": cannot be signed"),
                             HasSubstr(missing + ": no such file"), HasSubstr(zero + ": holds")));
  EXPECT_EQ(ReadFile(single), "<SCRIPT/");
  EXPECT_EQ(ReadFile(script), Signed(kScript));

  // 34D8C8AF is the CRC-32 of <R>x</R>; as brindle.exe, an empty script passes.
  WriteFile(single, "<R_MMMMMMZJ>x</R_MMMMMMZJ>");  // stored 0000001A
  WriteFile(zero, "");
  EXPECT_EQ(Tovkit(tovkit::Verify, {single, zero, missing}),
            "1 BAD " + single + ": stored 0000001A, computed 34D8C8AF\nOK  " + zero + "\nBAD " +
                missing + ": no such file\n");
}

}  // namespace
