#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_settings.h"
#include "collect/external_command.h"

namespace {

struct ValueCase {
  const char* value;
  const char* minutesText;
  uint64_t timeLimitMs;
  const char* commandLine;
};

TEST(ExternalCommandValue, SplitsTheMinutesPrefix) {
  const ValueCase cases[] = {
      {"~10 tool.exe /a", "10", 600000, "tool.exe /a"},
      {"tool.exe /a", "5", 300000, "tool.exe /a"},
      {"", "5", 300000, ""},
      // "~" directly followed by a blank is not a prefix.
      {"~ tool.exe", "5", 300000, "~ tool.exe"},
      {"~3", "5", 300000, "~3"},
      {"x~1 tool.exe", "5", 300000, "x~1 tool.exe"},
      // Not a number: no time at all, but the text is kept for the log.
      {"~x tool.exe", "x", 0, "tool.exe"},
      {"~-5 tool.exe", "-5", 0, "tool.exe"},
      {"~2x tool.exe", "2x", 120000, "tool.exe"},
      {"~1    tool.exe  \"a b\"", "1", 60000, "tool.exe  \"a b\""},
      {"~3 ", "3", 180000, ""},
      {"~0 tool.exe", "0", 0, "tool.exe"},
      // Only a blank ends the minutes, not a tab.
      {"~1\ttool.exe x", "1\ttool.exe", 60000, "x"},
      // Far past what 32 bits of milliseconds hold: saturated, not wrapped.
      {"~71583 t", "71583", 71583ull * 60000, "t"},
      {"~99999999999999999999999 t", "99999999999999999999999", 0xFFFFFFFFull * 60000, "t"},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.value);
    const ExecuteValue parsed = ParseExecuteValue(c.value);
    EXPECT_EQ(parsed.minutesText, c.minutesText);
    EXPECT_EQ(parsed.timeLimitMs, c.timeLimitMs);
    EXPECT_EQ(parsed.commandLine, c.commandLine);
  }
}

TEST(ExternalCommandValue, CommandLineBufferIsWritableAndLongEnough) {
  std::vector<char> shortLine = CommandLineBuffer("tool.exe /a");
  ASSERT_EQ(shortLine.size(), 256u);
  EXPECT_EQ(std::string(shortLine.data()), "tool.exe /a");

  const std::string longCommand(300, 'x');
  std::vector<char> longLine = CommandLineBuffer(longCommand);
  ASSERT_EQ(longLine.size(), 301u);
  EXPECT_EQ(std::string(longLine.data()), longCommand);
}

// Hands out scripted answers and records the slices asked for.
class WaitInSlicesTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().Reset(); }
  void TearDown() override { Settings().Reset(); }

  WaitOutcome Wait(uint64_t limitMs, std::vector<WaitOutcome> answers, int stopAtCall = -1) {
    return WaitInSlices(limitMs, [&](uint32_t milliseconds) {
      const size_t call = slices.size();
      slices.push_back(milliseconds);
      if (static_cast<int>(call) == stopAtCall) Settings().stopRequested = true;
      // A wait that never ends would show up as a test that never ends.
      if (call > 100000) return WaitOutcome::Failed;
      return call < answers.size() ? answers[call] : WaitOutcome::TimedOut;
    });
  }

  std::vector<uint32_t> slices;
};

TEST_F(WaitInSlicesTest, CoversTheLimitInSlices) {
  EXPECT_EQ(Wait(500, {}), WaitOutcome::TimedOut);
  EXPECT_EQ(slices, (std::vector<uint32_t>{200, 200, 100}));
}

TEST_F(WaitInSlicesTest, ZeroLimitStillAsksOnce) {
  EXPECT_EQ(Wait(0, {WaitOutcome::Ended}), WaitOutcome::Ended);
  EXPECT_EQ(slices, (std::vector<uint32_t>{0}));
  slices.clear();
  EXPECT_EQ(Wait(0, {}), WaitOutcome::TimedOut);
  EXPECT_EQ(slices, (std::vector<uint32_t>{0}));
}

TEST_F(WaitInSlicesTest, EndAndFailureStopTheWait) {
  EXPECT_EQ(Wait(300000, {WaitOutcome::TimedOut, WaitOutcome::Ended}), WaitOutcome::Ended);
  EXPECT_EQ(slices.size(), 2u);
  slices.clear();
  EXPECT_EQ(Wait(300000, {WaitOutcome::Failed}), WaitOutcome::Failed);
  EXPECT_EQ(slices.size(), 1u);
}

TEST_F(WaitInSlicesTest, StopRequestEndsAnyLimitWithinOneSlice) {
  EXPECT_EQ(Wait(MinutesToMilliseconds("99999999999"), {}, 2), WaitOutcome::Stopped);
  EXPECT_EQ(slices, (std::vector<uint32_t>{200, 200, 200}));
  // The tool that ends in the slice where the stop came still counts as ended.
  Settings().Reset();
  slices.clear();
  EXPECT_EQ(Wait(300000, {WaitOutcome::Ended}, 0), WaitOutcome::Ended);
}

}  // namespace
