#include "sign.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include <filesystem>

#include "input_file.h"
#include "support/test_support.h"
#include "tovkit.h"

namespace {

using testing::AllOf;
using testing::HasSubstr;
using testing_support::ReadFile;
using testing_support::Signed;
using testing_support::Tovkit;
using testing_support::WriteFile;

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

// Help and answers on stdout with 0; usage errors on stderr with 2.
TEST(TovkitCommandLine, HelpVersionAndUsageErrors) {
  std::ostringstream out, err;
  EXPECT_EQ(tovkit::Main({"--version"}, out, err), 0);
  EXPECT_EQ(tovkit::Main({"version"}, out, err), 0);
  EXPECT_EQ(out.str(),
            std::string("tovkit ") + TOVKIT_VERSION + "\ntovkit " + TOVKIT_VERSION + "\n");
  for (const char* command : {"sign", "verify", "lint", "inspect", "report", "brand", "decrypt"}) {
    out.str("");
    EXPECT_EQ(tovkit::Main({command, "--help"}, out, err), 0) << command;
    EXPECT_EQ(out.str().rfind("usage: tovkit ", 0), 0u) << command;
    EXPECT_EQ(tovkit::Main({command, "--bogus"}, out, err), 2) << command;
  }
  EXPECT_EQ(tovkit::Main({"frobnicate"}, out, err), 2);
  out.str("");
  testing_support::ScratchFolder folder;
  EXPECT_EQ(tovkit::Main({"brand", folder / "b.exe", "--trust", folder / "c.pem", "-o",
                          folder / "no/such/out.exe"},
                         out, err),
            2);
  EXPECT_THAT(err.str(), HasSubstr("its folder " + folder / "no/such does not exist"));
  EXPECT_EQ(out.str(), "");
}

#ifndef _WIN32
// An output goes where nothing was and then takes its name: links planted
// at the name or at the temporary name are never written through.
TEST(TovkitOutput, NeverWritesThroughALink) {
  testing_support::ScratchFolder folder;
  const std::string victim = folder / "victim", other = folder / "other", out = folder / "o.html";
  WriteFile(victim, "precious");
  WriteFile(other, "precious too");
  std::filesystem::create_symlink(victim, out);
  std::filesystem::create_symlink(other, out + ".tovkit-0.tmp");
  std::string why;
  ASSERT_TRUE(tovkit::WriteOutputFile(out, "page", true, &why)) << why;
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_EQ(ReadFile(other), "precious too");
  EXPECT_FALSE(std::filesystem::is_symlink(out));
  EXPECT_EQ(ReadFile(out), "page");
  // Only where nothing is, when asked so; a dangling link counts as something.
  std::filesystem::create_symlink(folder / "new", folder / "n.tgz");
  EXPECT_FALSE(tovkit::WriteOutputFile(folder / "n.tgz", "x", false, &why));
  EXPECT_EQ(why, "exists already");
  EXPECT_FALSE(testing_support::FileExists(folder / "new"));
  EXPECT_FALSE(tovkit::WriteOutputFile(folder / "none/x", "x", true, &why));
  EXPECT_EQ(why, "its folder does not exist");
  // sign rewrites a script only under its own name, never through a link.
  WriteFile(folder / "s.tov", kScript);
  std::filesystem::create_symlink(folder / "s.tov", folder / "l.tov");
  EXPECT_THAT(Tovkit(tovkit::Sign, {folder / "l.tov"}), HasSubstr("is a link"));
  EXPECT_EQ(ReadFile(folder / "s.tov"), kScript);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            7);
}
#endif

}  // namespace
