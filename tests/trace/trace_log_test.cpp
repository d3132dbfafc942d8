#include "trace/trace_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

std::set<std::string> Entries(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// A failing call traced in between still hands its status back unchanged.
long FailingCall() {
  const long status = static_cast<long>(0x80070005L);
  BRINDLE_TRACE("%s returned %#x", "pObject->Get(...)", static_cast<unsigned>(status));
  return status;
}

TEST(TraceLogTest, OffByDefaultAndLeavesNoTrace) {
  ASSERT_FALSE(TraceLog::kEnabled);
  const auto cwd = std::filesystem::current_path();
  const auto before = Entries(cwd);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  EXPECT_EQ(FailingCall(), static_cast<long>(0x80070005L));
  BRINDLE_TRACE("Exception: %s", "boom");
  BRINDLE_TRACE("SEH Exception %s at %x", "access violation", 0x1234u);
  BRINDLE_TRACE("STD Exception %s", "bad_alloc");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(Entries(cwd), before);
}

}  // namespace
