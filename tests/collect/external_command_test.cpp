#include "collect/external_command.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "run/run_settings.h"
#include "run/text.h"
#include "support/log_entries.h"

namespace {

TEST(ExternalCommandValue, SplitsTheMinutesPrefix) {
  const struct {
    const char *value, *minutesText;
    uint64_t timeLimitMs;
    const char* commandLine;
  } cases[] = {
      {"~10 tool.exe /a", "10", 600000, "tool.exe /a"},
      // "~" directly followed by a blank, or no blank at all: no prefix.
      {"~ tool.exe", "5", 300000, "~ tool.exe"},
      // Not a number: no time at all, but the text is kept for the log.
      {"~x tool.exe", "x", 0, "tool.exe"},
      {"~2x    tool.exe  \"a b\"", "2x", 120000, "tool.exe  \"a b\""},
      // Past 32 bits of milliseconds: saturated, never wrapped.
      {"~99999999999999999999999 t", "99999999999999999999999", 0xFFFFFFFFull * 60000, "t"},
  };
  for (const auto& c : cases) {
    const ExecuteValue parsed = ParseExecuteValue(c.value);
    EXPECT_EQ(parsed.minutesText, c.minutesText) << c.value;
    EXPECT_EQ(parsed.timeLimitMs, c.timeLimitMs) << c.value;
    EXPECT_EQ(parsed.commandLine, c.commandLine) << c.value;
  }
}

TEST(WaitInSlices, CoversTheLimitAndEndsOnAStopRequest) {
  Settings().Reset();
  std::vector<uint32_t> slices;
  // The tool never ends; the stop request comes during the fifth slice.
  auto slice = [&slices](uint32_t milliseconds) {
    slices.push_back(milliseconds);
    if (slices.size() == 5) Settings().stopRequested = true;
    return WaitOutcome::TimedOut;
  };
  EXPECT_EQ(WaitInSlices(500, slice, RunContext()), WaitOutcome::TimedOut);
  EXPECT_EQ(slices, (std::vector<uint32_t>{200, 200, 100}));
  EXPECT_EQ(WaitInSlices(1000, slice, RunContext()), WaitOutcome::Stopped);
  EXPECT_EQ(slices.size(), 5u);
  Settings().Reset();
}

// Files in memory, taken in any letter case as on Windows; the one made is
// "made", with the start of its content.
class MemoryFiles : public CaptureFile {
 public:
  std::map<std::string, std::string> files{{"C:\\S\\TOOL.txt", ""}, {"C:\\S\\Tool (2).txt", ""}};
  bool failCreate = false;
  std::string made;
  Made Create(const std::string& path, uint32_t* error) override {
    if (failCreate) return *error = 5, Made::Failed;
    for (const auto& file : files) {
      if (UpperAscii(file.first) == UpperAscii(path)) return Made::Taken;
    }
    made = path;
    return Made::Created;
  }
  bool Write(const char* data, size_t size, uint32_t*) override {
    files[made].append(data, size);
    return true;
  }
  void Close() override {}
};

// What the tool prints, one entry per look ("" nothing yet); then the pipe
// closes, or with `heldOpen` a process the tool started prints on forever.
class ScriptedPipe : public OutputPipe {
 public:
  std::deque<std::string> looks;
  bool heldOpen = false;
  bool ReadAvailable(std::string* chunk, size_t) override {
    if (looks.empty()) return *chunk += heldOpen ? "z" : "", heldOpen;
    *chunk += looks.front();
    looks.pop_front();
    return true;
  }
};

TEST(OutputCapture, KeepsWhatTheToolPrintedAndNeverWaitsOnThePipe) {
  const struct {
    std::vector<std::string> looks;  // a deque here crashed the Release build (GCC 12)
    bool heldOpen, failCreate;
    int slices;        // waits until the tool ends; -1 never
    std::string made;  // the file made and the start of its content
    std::string lastEntry;
  } kCases[] = {
      // Output before and after the tool's end, beside the tool's own files.
      {{"a", "", "b", "", "c"},
       false,
       false,
       3,
       "C:\\S\\Tool (3).txt=abc",
       "INFORMATION,Command output saved to C:\\S\\Tool (3).txt (3 bytes)"},
      {{"", ""}, false, false, 2, "", "INFORMATION,Command printed nothing"},
      // Not made: told, and the pipe is still emptied, so the tool never
      // stalls on it.
      {{"a", "b", "c"},
       false,
       true,
       5,
       "",
       "ERROR,Unable to create C:\\S\\Tool.txt for the output of the command (5)"},
      // A process the tool started holds the pipe and prints on: the wait
      // ends at the limit, or soon after the tool's own end.
      {{"early"},
       true,
       false,
       -1,
       "C:\\S\\Tool (3).txt=earlyz",
       "WARNING,Command output was cut at the limit of 1 minute(s): C:\\S\\Tool (3).txt holds what "
       "it printed until then"},
      {{},
       true,
       false,
       1,
       "C:\\S\\Tool (3).txt=z",
       "INFORMATION,Command output saved to C:\\S\\Tool (3).txt (80 bytes)"},
  };
  for (const auto& c : kCases) {
    testing_support::CapturedLog log;
    MemoryFiles files;
    files.failCreate = c.failCreate;
    ScriptedPipe pipe;
    pipe.looks.assign(c.looks.begin(), c.looks.end());
    pipe.heldOpen = c.heldOpen;
    OutputCapture capture("C:\\S\\Tool.txt", "C:", files, log.Context());
    int waited = 0;
    const WaitSlice wait = [&](uint32_t) {
      return ++waited == c.slices ? WaitOutcome::Ended : WaitOutcome::TimedOut;
    };
    capture.Finish(WaitAndCapture(1000, wait, pipe, capture, log.Context()), "1");
    EXPECT_TRUE(pipe.looks.empty());
    const std::string made = files.made.empty() ? "" : files.made + "=" + files.files[files.made];
    EXPECT_EQ(made.substr(0, c.made.size()), c.made);
    EXPECT_EQ(log.Entries().back(), c.lastEntry);
  }
}

}  // namespace
