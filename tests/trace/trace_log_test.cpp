#include "trace/trace_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

// Shipped builds trace nothing: no output, no file, whatever the callers pass.
TEST(TraceLogTest, OffByDefaultAndLeavesNoTrace) {
  static_assert(!TraceLog::kEnabled, "tracing must stay off in shipped builds");
  const auto entries = [] { return std::distance(std::filesystem::directory_iterator("."), {}); };
  const auto before = entries();
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  BRINDLE_TRACE("%s returned %#x", "pObject->Get(...)", 0x80070005u);
  BRINDLE_TRACE("SEH Exception %s at %x", "access violation", 0x1234u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(entries(), before);
}
