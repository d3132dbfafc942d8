#include "app/output_path.h"

#include <gtest/gtest.h>

#include "app/exit_code.h"
#include "run/run_settings.h"

namespace {

TEST(ChooseOutputPath, FromOutFileCaseIdOrTheUser) {
  const struct {
    const char *outFile, *caseId;   // caseId null: no "/case="
    const char *answer, *expected;  // answer: what the Save-As dialog gives
  } cases[] = {
      // A folder: the case id names the file, or the fixed name does.
      {"d:\\out\\", nullptr, "", "d:\\out\\Results.tgz"},
      {"d:\\out\\", "c42", "", "d:\\out\\c42.tgz"},
      {"d:\\out\\", "", "", "d:\\out\\.tgz"},
      // A file: the case id and a space go in front of its name.
      {"d:\\out\\res", "c42", "", "d:\\out\\c42 res.tgz"},
      {"res", "c42", "", "c42 res.tgz"},
      // A case id is a name: it never climbs out of the folder or names a device.
      {"d:\\res\\", "..\\..\\escaped", "", "d:\\res\\__.._escaped.tgz"},
      {"d:\\out\\res", "a/b:c*?\"<>|\x01", "", "d:\\out\\a_b_c_______ res.tgz"},
      {"", "con", "", "c:\\tool\\_con.tgz"},
      {"", "lpt1.x", "", "c:\\tool\\_lpt1.x.tgz"},
      {"", "com10", "", "c:\\tool\\com10.tgz"},
      // ".tgz" anywhere counts, even in the middle or in a folder's name.
      {"d:\\out\\res", nullptr, "", "d:\\out\\res.tgz"},
      {"d:\\out\\res.tgz.old", nullptr, "", "d:\\out\\res.tgz.old"},
      {"d:\\a.tgz\\res", nullptr, "", "d:\\a.tgz\\res"},
      {"d:\\out\\res.TGZ", nullptr, "", "d:\\out\\res.TGZ.tgz"},
      // No output file: beside the executable, or asked for.
      {"", "c42", "c:\\x\\asked", "c:\\tool\\c42.tgz"},
      {"", nullptr, "c:\\x\\mine.zip", "c:\\x\\mine.zip.tgz"},
      {"", nullptr, "c:\\x\\mine.TGZ", "c:\\x\\mine.TGZ"},
      {"", nullptr, "c:\\x.y\\mine", "c:\\x.y\\mine"},  // a dot in the folder is no extension
      {"", nullptr, "c:\\x\\mine.", "c:\\x\\mine."},
      {"", nullptr, "", ""},  // cancelled
  };
  for (const auto& c : cases) {
    for (const bool silent : {false, true}) {
      RunSettings settings;
      settings.outFile = c.outFile;
      settings.caseIdGiven = c.caseId != nullptr;
      settings.caseId = c.caseId ? c.caseId : "";
      settings.silent = silent;
      int asked = 0;
      const auto ask = [&] { return ++asked, std::string(c.answer); };
      const bool hasOutFile = *c.outFile != '\0';
      const bool wouldAsk = !hasOutFile && !c.caseId;
      // A silent run never asks: without a path of its own it has none.
      const std::string expected = silent && wouldAsk ? "" : c.expected;
      EXPECT_EQ(ChooseOutputPath(settings, "c:\\tool", ask), expected) << c.outFile << silent;
      // Later readers see the final path.
      EXPECT_EQ(settings.outFile, hasOutFile ? c.expected : "") << c.outFile;
      EXPECT_EQ(asked, wouldAsk && !silent ? 1 : 0) << c.outFile;
    }
  }
}

TEST(ExitCode, TellsDeploymentToolsHowTheRunEnded) {
  const struct {
    bool done, writeFailed, stop, errors;
    ExitCode code;
  } kCases[] = {
      {true, false, false, false, kExitDone},
      {true, false, false, true, kExitWithErrors},
      {true, true, true, true, kExitWriteFailed},    // a write failure raises the stop too
      {false, true, true, false, kExitWriteFailed},  // the result folder could not be made
      {true, false, true, true, kExitStopped},
      {false, false, false, false, kExitStopped},  // the question was declined
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(RunExitCode(c.done, c.writeFailed, c.stop, c.errors), c.code)
        << c.done << c.writeFailed << c.stop << c.errors;
  }
}

TEST(NumberedResultPath, GoesBeforeTheExtension) {
  EXPECT_EQ(NumberedResultPath("d:\\out\\c42.tgz", 2), "d:\\out\\c42 (2).tgz");
  EXPECT_EQ(NumberedResultPath("d:\\a.tgz\\r.TGZ.old", 3), "d:\\a.tgz\\r (3).TGZ.old");
  EXPECT_EQ(NumberedResultPath("d:\\a.tgz\\res", 2), "d:\\a.tgz\\res (2)");
}

TEST(FileDialogFilter, AlwaysEndsInTwoNuls) {
  using std::string;
  EXPECT_EQ(FileDialogFilter("Tool Results (*.tgz)|*.tgz||"),
            string("Tool Results (*.tgz)\0*.tgz\0\0", 28));
  EXPECT_EQ(FileDialogFilter("A|*.a"), string("A\0*.a\0\0", 7));  // a translator's "||" lost
}

}  // namespace
