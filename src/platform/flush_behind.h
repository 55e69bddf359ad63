// Flushing a file to disk while it is still being written. A large file
// that is flushed once it is whole (as an installed file is, before the
// record names it) would otherwise leave all of its bytes for that one
// flush; here a thread of its own flushes what has been written each time
// another step of it has arrived, so the final flush finds little left.
// For the files of this folder only: it holds a descriptor.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace platform {

class FlushBehind {
 public:
  // Steps large enough that a flush costs little beside its bytes, small
  // enough that the last one, left to the final flush, is short.
  static constexpr uint64_t kStep = 64ull << 20;

  // fd stays owned by the caller, open until Finish returns. The thread
  // starts once a whole step is written: a smaller file costs nothing here.
  explicit FlushBehind(int fd, uint64_t step = kStep);
  ~FlushBehind();
  FlushBehind(const FlushBehind&) = delete;
  FlushBehind& operator=(const FlushBehind&) = delete;

  // Tells how many bytes have been written so far; called by the writer
  // after each write. Returns 0, or the errno of a flush that failed: the
  // writing may stop there, since the file cannot be kept.
  [[nodiscard]] int Written(uint64_t total);
  // Stops the thread, after the flush it may be in. Returns 0, or the
  // errno of a flush that failed: a descriptor reports a lost write only
  // once, so the thread's flush may be the only one to hear of it.
  [[nodiscard]] int Finish();

 private:
  void Work();

  const int fd_;
  const uint64_t step_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t written_ = 0;
  uint64_t flushed_ = 0;
  bool finished_ = false;
  int error_ = 0;
  std::thread worker_;
};

}  // namespace platform
