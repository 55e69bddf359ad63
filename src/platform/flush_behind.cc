#include "platform/flush_behind.h"

#include "platform/write_all.h"

namespace platform {

FlushBehind::FlushBehind(int fd, uint64_t step) : fd_(fd), step_(step) {}

FlushBehind::~FlushBehind() { (void)Finish(); }

int FlushBehind::Written(uint64_t total) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (error_ != 0) return error_;
    written_ = total;
    if (written_ - flushed_ < step_) return 0;
  }
  if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
  changed_.notify_one();
  return 0;
}

int FlushBehind::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_one();
  if (worker_.joinable()) worker_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

void FlushBehind::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return finished_ || written_ - flushed_ >= step_; });
    if (finished_) return;
    const uint64_t target = written_;
    lock.unlock();
    const int error = FlushData(fd_);
    lock.lock();
    flushed_ = target;
    if (error != 0) {
      error_ = error;
      return;  // the final flush fails as well; further steps would only wait for it
    }
  }
}

}  // namespace platform
