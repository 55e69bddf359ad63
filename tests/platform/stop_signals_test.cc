#include "platform/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <vector>

#include "platform/event_loop.h"

namespace {

// Pumps the loop until `count` signals were heard, for at most 5 s.
void PumpUntil(const std::vector<int>& heard, size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (heard.size() < count && std::chrono::steady_clock::now() < deadline) platform::WaitForEvent(10);
}

TEST(StopSignalWatchTest, SignalsReachTheCallbackOnTheLoopInsteadOfEndingTheProcess) {
  std::vector<int> heard;
  {
    const platform::StopSignalWatch watch([&heard](int signal) { heard.push_back(signal); });
    raise(SIGINT);
    EXPECT_TRUE(heard.empty()) << "not inside the signal handler";
    PumpUntil(heard, 1);
    raise(SIGTERM);
    PumpUntil(heard, 2);
    raise(SIGHUP);
    PumpUntil(heard, 3);
  }
  EXPECT_EQ(heard, (std::vector<int>{SIGINT, SIGTERM, SIGHUP}));
  EXPECT_STREQ(platform::StopSignalName(SIGINT), "SIGINT");
  EXPECT_STREQ(platform::StopSignalName(SIGTERM), "SIGTERM");
  EXPECT_STREQ(platform::StopSignalName(SIGHUP), "SIGHUP");
}

TEST(StopSignalWatchDeathTest, WithoutAWatchTheSignalsEndTheProcessAgain) {
  EXPECT_EXIT(
      {
        { const platform::StopSignalWatch watch([](int) {}); }
        raise(SIGTERM);
        platform::WaitForEvent(10);
      },
      ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
