#include "transport/rate_limiter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kSmallestBurst = 4096;

}  // namespace

RateLimiter::RateLimiter(int64_t bytes_per_second, Now now)
    : rate_(std::max<int64_t>(bytes_per_second, 1)),
      burst_(std::max(rate_ / 8, kSmallestBurst)),
      now_(std::move(now)),
      tokens_(static_cast<double>(burst_)),
      refilled_(now_()) {}

RateLimiter::Reader::Reader(RateLimiter& limiter) : limiter_(limiter) { limiter_.Join(); }

RateLimiter::Reader::~Reader() { limiter_.Leave(*this); }

RateLimiter::Grant RateLimiter::Reader::Take(size_t wanted) { return limiter_.Take(*this, wanted); }

void RateLimiter::Reader::Return(size_t unused) { limiter_.Return(unused); }

void RateLimiter::Join() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++readers_;
}

void RateLimiter::Leave(const Reader& reader) {
  std::lock_guard<std::mutex> lock(mutex_);
  --readers_;
  std::erase_if(queue_, [&reader](const Waiter& waiter) { return waiter.reader == &reader; });
}

RateLimiter::Grant RateLimiter::Take(const Reader& reader, size_t wanted) {
  std::lock_guard<std::mutex> lock(mutex_);
  Refill(now_());
  const size_t share = Share();
  const size_t need = std::max<size_t>(std::min(wanted, share), 1);
  // What the readers queued before this one are owed comes first; each is
  // owed at most a share, so all that are owed fit in the bucket.
  double owed_ahead = 0;
  auto place = queue_.begin();
  for (; place != queue_.end() && place->reader != &reader; ++place) {
    owed_ahead += static_cast<double>(std::min(place->need, share));
  }
  if (tokens_ - owed_ahead >= static_cast<double>(need)) {
    tokens_ -= static_cast<double>(need);
    if (place != queue_.end()) queue_.erase(place);
    return {need, {}};
  }
  const double seconds = (owed_ahead + static_cast<double>(need) - tokens_) / static_cast<double>(rate_);
  const std::chrono::microseconds wait{std::max<int64_t>(static_cast<int64_t>(std::ceil(seconds * 1e6)), 1)};
  if (place == queue_.end()) {
    queue_.push_back({&reader, need});
  } else {
    place->need = need;
  }
  return {0, wait};
}

void RateLimiter::Return(size_t unused) {
  std::lock_guard<std::mutex> lock(mutex_);
  tokens_ = std::min(tokens_ + static_cast<double>(unused), static_cast<double>(burst_));
}

void RateLimiter::Refill(Clock::time_point now) {
  if (now <= refilled_) return;
  const double seconds = std::chrono::duration<double>(now - refilled_).count();
  tokens_ = std::min(tokens_ + seconds * static_cast<double>(rate_), static_cast<double>(burst_));
  refilled_ = now;
}

size_t RateLimiter::Share() const {
  return static_cast<size_t>(burst_ / std::max(readers_, 1));
}
