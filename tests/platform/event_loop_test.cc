#include "platform/event_loop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

using namespace std::chrono;

TEST(EventLoop, PostedMessagesRunOnceInOrder) {
  std::string order;
  platform::PostMessage([&] { order += 'a'; });
  platform::PostMessage([&] { order += 'b'; });
  EXPECT_EQ(order, "");
  platform::ProcessMessages();
  EXPECT_EQ(order, "ab");
  platform::ProcessMessages();
  EXPECT_EQ(order, "ab");
}

TEST(EventLoop, WaitForEventIsBoundedWhenIdle) {
  auto start = steady_clock::now();
  for (int i = 0; i < 10; ++i) platform::WaitForEvent(2);
  auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
  EXPECT_GE(elapsed, 15);  // it really waited ...
  EXPECT_LT(elapsed, 2000);  // ... and never hung
}

TEST(EventLoop, TimerTicksUntilStoppedFromItsOwnTick) {
  platform::Timer timer;
  int ticks = 0;
  timer.Start(1, [&] {
    if (++ticks == 3) timer.Stop();
  });
  auto deadline = steady_clock::now() + seconds(5);
  while (timer.Running() && steady_clock::now() < deadline) platform::WaitForEvent(2);
  EXPECT_EQ(ticks, 3);
  for (int i = 0; i < 5; ++i) platform::WaitForEvent(2);
  EXPECT_EQ(ticks, 3);
}

TEST(EventLoop, FdWatchWakesWaiterWhenDataArrives) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  platform::FdWatch watch;
  bool readable = false;
  watch.Start(pair[0], true, false, [&](platform::FdReadiness r) {
    readable = r.readable;
    watch.Stop();
  });
  platform::ProcessMessages();
  EXPECT_FALSE(readable);
  ASSERT_EQ(write(pair[1], "x", 1), 1);
  // A long wait returns as soon as the descriptor is ready.
  auto start = steady_clock::now();
  platform::WaitForEvent(5000);
  EXPECT_TRUE(readable);
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 1000);
  close(pair[0]);
  close(pair[1]);
}
