// A cap on the bytes per second that the connections of one session read
// together: a token bucket they share. Connections reading at once take
// turns: one that was told to wait is served before those that ask after
// it, and none takes more than its share of the bucket at a time, so each
// gets the same part of the cap.
//
// Thread-safe: connections on threads of their own share one limiter.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class RateLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  using Now = std::function<Clock::time_point()>;

  // What a reader may do now: read up to `bytes`, or, when bytes is 0,
  // wait `wait` and ask again.
  struct Grant {
    size_t bytes = 0;
    std::chrono::microseconds wait{0};
  };

  // One connection's turns for as long as it reads. It counts towards the
  // share (the bucket divided among the readers) from its making to its
  // end, which gives up its place in the queue. Used on one thread at a
  // time; several readers of one limiter may be on different threads.
  class Reader {
   public:
    explicit Reader(RateLimiter& limiter);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Asks to read up to `wanted` (> 0) bytes: grants from 1 to `wanted`,
    // counted as read until given back, or names the wait before asking
    // again and keeps this reader's place in the queue. A reader that does
    // not come back holds back no more than its share: the others go on
    // at the full rate.
    Grant Take(size_t wanted);
    // Gives back the bytes of a grant that did not arrive.
    void Return(size_t unused);

   private:
    RateLimiter& limiter_;
  };

  // Caps at bytes_per_second (> 0). `now` is the clock; tests pass one
  // they move by hand. The bucket starts full.
  explicit RateLimiter(int64_t bytes_per_second, Now now = &Clock::now);
  RateLimiter(const RateLimiter&) = delete;
  RateLimiter& operator=(const RateLimiter&) = delete;

  int64_t BytesPerSecond() const { return rate_; }
  // What the bucket holds when full: the most that passes at once after an
  // idle spell (an eighth of a second's worth, at least 4 KiB).
  int64_t Burst() const { return burst_; }

 private:
  struct Waiter {
    const Reader* reader;
    size_t need;
  };

  Grant Take(const Reader& reader, size_t wanted);
  void Return(size_t unused);
  void Join();
  void Leave(const Reader& reader);
  // The rest is called with mutex_ held.
  void Refill(Clock::time_point now);
  size_t Share() const;

  const int64_t rate_;
  const int64_t burst_;
  const Now now_;
  std::mutex mutex_;
  double tokens_;
  Clock::time_point refilled_;
  int readers_ = 0;
  std::vector<Waiter> queue_;  // in the order they were told to wait
};
