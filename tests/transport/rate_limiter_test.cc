// The shared rate cap on a clock the tests move by hand: what passes at
// once, what waits how long, the long-run rate, turns among readers, and
// many threads at once.
#include "transport/rate_limiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// A clock that stands still until moved.
struct HandClock {
  RateLimiter::Clock::time_point now{};
  RateLimiter::Now Source() {
    return [this] { return now; };
  }
};

constexpr int64_t kRate = 81920;  // 80 KiB/s: a burst of 10 KiB

TEST(RateLimiterTest, FullBucketPassesAtOnceThenTheRateNamesTheWait) {
  HandClock clock;
  RateLimiter limiter(kRate, clock.Source());
  EXPECT_EQ(limiter.BytesPerSecond(), kRate);
  EXPECT_EQ(limiter.Burst(), 10240);
  RateLimiter::Reader reader(limiter);

  EXPECT_EQ(reader.Take(65536).bytes, 10240u) << "no more than the bucket holds";
  const RateLimiter::Grant wait = reader.Take(4096);
  EXPECT_EQ(wait.bytes, 0u);
  EXPECT_EQ(wait.wait, microseconds(50000)) << "4 KiB at 80 KiB/s";
  clock.now += milliseconds(20);
  EXPECT_EQ(reader.Take(4096).wait, microseconds(30000)) << "what has come in counts";
  clock.now += milliseconds(30);
  EXPECT_EQ(reader.Take(4096).bytes, 4096u);

  SCOPED_TRACE("bytes granted but not received go back into the bucket");
  clock.now += milliseconds(125);  // full again
  EXPECT_EQ(reader.Take(10240).bytes, 10240u);
  reader.Return(6144);
  EXPECT_EQ(reader.Take(6144).bytes, 6144u);
  EXPECT_EQ(reader.Take(1).bytes, 0u);

  SCOPED_TRACE("an idle spell fills the bucket no further than its burst");
  clock.now += std::chrono::seconds(60);
  EXPECT_EQ(reader.Take(65536).bytes, 10240u);
  reader.Return(1 << 20);
  EXPECT_EQ(reader.Take(65536).bytes, 10240u);
}

TEST(RateLimiterTest, BurstIsAnEighthOfASecondAndAtLeast4KiB) {
  HandClock clock;
  for (const auto& [rate, burst] : std::vector<std::pair<int64_t, int64_t>>{
           {1024, 4096}, {32768, 4096}, {40960, 5120}, {20 << 20, (20 << 20) / 8}, {0, 4096}}) {
    SCOPED_TRACE(rate);
    RateLimiter limiter(rate, clock.Source());
    EXPECT_EQ(limiter.Burst(), burst);
    RateLimiter::Reader reader(limiter);
    EXPECT_EQ(reader.Take(1 << 30).bytes, static_cast<size_t>(burst));
    EXPECT_GT(reader.Take(1).wait, microseconds(0));
  }
}

// A reader that reads whenever it may and waits exactly as long as it is
// told: over a long stretch it gets the rate, plus the first burst.
TEST(RateLimiterTest, GreedyReaderGetsTheRateOverTime) {
  HandClock clock;
  RateLimiter limiter(kRate, clock.Source());
  RateLimiter::Reader reader(limiter);
  const auto end = clock.now + std::chrono::seconds(100);
  int64_t received = 0;
  while (clock.now < end) {
    const RateLimiter::Grant grant = reader.Take(65536);
    if (grant.bytes > 0) {
      received += static_cast<int64_t>(grant.bytes);
    } else {
      clock.now += grant.wait;
    }
  }
  EXPECT_LE(received, kRate * 100 + limiter.Burst());
  EXPECT_GE(received, kRate * 100 - 10240);
}

TEST(RateLimiterTest, ReadersTakeTurnsInTheOrderTheyWereToldToWait) {
  HandClock clock;
  RateLimiter limiter(kRate, clock.Source());
  RateLimiter::Reader first(limiter);
  RateLimiter::Reader second(limiter);
  EXPECT_EQ(first.Take(65536).bytes, 5120u) << "half the bucket each";
  EXPECT_EQ(second.Take(65536).bytes, 5120u);

  EXPECT_EQ(first.Take(4096).wait, microseconds(50000));
  EXPECT_EQ(second.Take(4096).wait, microseconds(100000)) << "behind the first";
  clock.now += milliseconds(60);
  EXPECT_EQ(second.Take(4096).bytes, 0u) << "the first is owed what has come in";
  EXPECT_EQ(first.Take(4096).bytes, 4096u);
  clock.now += milliseconds(40);
  EXPECT_EQ(second.Take(4096).bytes, 4096u);

  SCOPED_TRACE("a reader that ends gives up its place");
  auto third = std::make_unique<RateLimiter::Reader>(limiter);
  EXPECT_EQ(third->Take(3072).wait, microseconds(37500));
  EXPECT_EQ(first.Take(1024).wait, microseconds(50000));
  third.reset();
  clock.now += milliseconds(13);
  EXPECT_EQ(first.Take(1024).bytes, 1024u);

}

// A reader held up elsewhere (a box on its thread) keeps its place, but
// holds back no more than a share, even one it asked for while alone.
TEST(RateLimiterTest, ReaderThatDoesNotComeBackHoldsBackOnlyItsShare) {
  HandClock clock;
  RateLimiter limiter(kRate, clock.Source());
  RateLimiter::Reader held_up(limiter);
  EXPECT_EQ(held_up.Take(65536).bytes, 10240u);
  EXPECT_EQ(held_up.Take(65536).wait, microseconds(125000));
  RateLimiter::Reader other(limiter);
  const auto end = clock.now + std::chrono::seconds(1);
  int64_t received = 0;
  while (clock.now < end) {
    const RateLimiter::Grant grant = other.Take(65536);
    received += static_cast<int64_t>(grant.bytes);
    clock.now += grant.wait;
  }
  EXPECT_GE(received, kRate - 10240) << "the rate goes on to the other reader";
}

// Two readers that each read whenever they may get the same part of the
// cap, whichever asks first.
TEST(RateLimiterTest, ReadersAtOnceShareTheRateEvenly) {
  HandClock clock;
  RateLimiter limiter(kRate, clock.Source());
  RateLimiter::Reader a(limiter);
  RateLimiter::Reader b(limiter);
  struct Turn {
    RateLimiter::Reader& reader;
    RateLimiter::Clock::time_point next;
    int64_t received = 0;
  };
  std::vector<Turn> turns = {{a, clock.now}, {b, clock.now}};
  const auto end = clock.now + std::chrono::seconds(20);
  while (clock.now < end) {
    // The one due first asks; the first reader wins ties.
    Turn& turn = turns[turns[1].next < turns[0].next ? 1 : 0];
    clock.now = std::max(clock.now, turn.next);
    const RateLimiter::Grant grant = turn.reader.Take(65536);
    turn.received += static_cast<int64_t>(grant.bytes);
    turn.next = clock.now + grant.wait;
  }
  // Within the grants each got at the start and at the end.
  EXPECT_LE(std::abs(turns[0].received - turns[1].received), 2 * 5120)
      << turns[0].received << " " << turns[1].received;
  EXPECT_GE(turns[0].received + turns[1].received, kRate * 20 - 10240);
}

// Readers on four threads: never more than the rate over the time the
// clock moved, plus one burst.
TEST(RateLimiterTest, ThreadsShareOneLimiter) {
  std::atomic<int64_t> elapsed_us{0};
  const auto start = RateLimiter::Clock::time_point{};
  RateLimiter limiter(kRate, [&] { return start + microseconds(elapsed_us.load()); });
  std::atomic<int64_t> granted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      RateLimiter::Reader reader(limiter);
      for (int i = 0; i < 2000; ++i) {
        const RateLimiter::Grant grant = reader.Take(8192);
        if (grant.bytes == 0) {
          elapsed_us += 100;
          continue;
        }
        // Half of each grant arrives; the rest goes back.
        reader.Return(grant.bytes / 2);
        granted += static_cast<int64_t>(grant.bytes - grant.bytes / 2);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const int64_t allowed = kRate * elapsed_us.load() / 1000000 + limiter.Burst();
  EXPECT_LE(granted.load(), allowed);
  EXPECT_GT(granted.load(), 0);
}

}  // namespace
