#include "inspect.h"

#include <gtest/gtest.h>

#include <sstream>

#include "pack/result_packager.h"
#include "result_inspector.h"
#include "run/run_settings.h"
#include "support/test_support.h"

namespace {

// The checks themselves are tested in tests/pack, and tests/e2e/run.sh finds
// a whole run's result clean: here, what tovkit makes of them.
TEST(TovkitInspect, ListsFindingsAndGivesTheExitStatus) {
  Settings().Reset();
  testing_support::ScratchFolder dir("inspect"), result("gone");
  std::ostringstream out, err;
  EXPECT_EQ(tovkit::Inspect({dir / "missing.tgz"}, out, err), 2);

  // A signed FileList.csv listing more missing files than are named, under
  // names that would drive the terminal.
  std::string list = "<FILE_LIST_START>\r\n";
  for (size_t i = 0; i < kInspectMaxListed + 2; ++i) {
    list += "0,gone\033" + std::to_string(i) + ",\r\n";
  }
  testing_support::WriteFile(result / "FileList.csv",
                             testing_support::Signed(list + "<FILE_LIST_END>\r\n"));
  const std::string gone = dir / "gone.tgz";
  ASSERT_TRUE(ResultPackager::Compress(result.path(), gone));
  EXPECT_EQ(tovkit::Inspect({gone}, out, err), 1);
  EXPECT_EQ(out.str().rfind("missing: gone?0\nmissing: gone?1\n", 0), 0u) << out.str();
  EXPECT_NE(out.str().find("\nmissing: ... and 2 more\n" + gone + ": NOT CLEAN: "),
            std::string::npos);

#ifndef _WIN32
  // A file the packer finds but cannot open is named by the result itself,
  // under a name no collected file has.
  testing_support::ScratchFolder held("held");
  testing_support::WriteFile(held / "FileList.csv",
                             testing_support::Signed("<FILE_LIST_START>\r\n<FILE_LIST_END>\r\n"));
  testing_support::WriteFile(held / "Not Packed.csv", "collected");
  testing_support::MakeUnopenableFile(held / "held.log");
  const std::string gaps = dir / "gaps.tgz";
  EXPECT_FALSE(ResultPackager::Compress(held.path(), gaps));
  out.str("");
  EXPECT_EQ(tovkit::Inspect({gaps}, out, err), 1);
  EXPECT_EQ(out.str().rfind("not packed: held.log: cannot be opened (error 6)\n"
                            "extra: Not Packed.csv\n",
                            0),
            0u);
  Settings().Reset();
#endif
}

}  // namespace
