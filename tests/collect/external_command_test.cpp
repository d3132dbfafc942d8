#include "collect/external_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/run_settings.h"

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

}  // namespace
