#include "app/progress_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(ProgressChannel, WakesOncePerTakeAndKeepsTheLatestTexts) {
  ProgressChannel channel;
  EXPECT_TRUE(channel.SetStatus("one"));
  EXPECT_FALSE(channel.AddSteps(3));
  EXPECT_FALSE(channel.SetStatus("two"));
  EXPECT_FALSE(channel.AddSteps(4));
  EXPECT_FALSE(channel.SetDetail(""));

  ProgressUpdate update = channel.Take();
  EXPECT_EQ(update.steps, 7);
  EXPECT_TRUE(update.hasStatus);
  EXPECT_EQ(update.status, "two");
  EXPECT_TRUE(update.hasDetail);  // an empty detail still clears the line
  EXPECT_EQ(update.detail, "");

  update = channel.Take();
  EXPECT_EQ(update.steps, 0);
  EXPECT_FALSE(update.hasStatus);
  EXPECT_FALSE(update.hasDetail);
  EXPECT_TRUE(channel.SetDetail("again"));
}

TEST(ProgressChannel, NoStepIsLostBetweenThreads) {
  ProgressChannel channel;
  std::atomic<bool> done{false};
  std::atomic<int> wakes{0};
  std::vector<std::thread> producers;
  for (int t = 0; t < 4; ++t) {
    producers.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        if (channel.AddSteps(1)) ++wakes;
        if (i % 100 == 0 && channel.SetDetail(std::to_string(i))) ++wakes;
      }
    });
  }
  int64_t total = 0;
  int takes = 0;
  std::thread consumer([&] {
    while (!done) {
      total += channel.Take().steps;
      ++takes;
    }
  });
  for (std::thread& p : producers) p.join();
  done = true;
  consumer.join();
  total += channel.Take().steps;
  EXPECT_EQ(total, 4 * 20000);
  // At most one wake-up is outstanding per take.
  EXPECT_LE(wakes.load(), takes + 1);
}

}  // namespace
