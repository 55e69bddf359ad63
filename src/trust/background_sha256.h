// SHA-256 of bytes that arrive in pieces, computed on a thread of its own,
// so that hashing a download overlaps with receiving and writing it instead
// of adding to them. The bytes are copied in batches; when the hashing
// falls behind by more than a few MiB, Update waits for it. The thread
// starts with the first whole batch: a smaller input is hashed by Final,
// on the owner's thread, since a thread would cost more than the hashing.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "trust/sha256.h"

namespace trust {

class BackgroundSha256 {
 public:
  // Throws ETrustError when libgcrypt cannot be used.
  BackgroundSha256();
  // Waits for the hashing thread, if it started.
  ~BackgroundSha256();
  BackgroundSha256(const BackgroundSha256&) = delete;
  BackgroundSha256& operator=(const BackgroundSha256&) = delete;

  // Both are called from one thread, the owner's.
  void Update(std::string_view bytes);
  // The digest of every byte given, in lower-case hex. Call it once.
  std::string Final();

 private:
  void Hand(std::string batch);
  // An empty batch with room for a whole one: a spare the thread is done with, if any.
  std::string TakeSpare();
  void Work();

  Sha256Stream stream_;
  std::string batch_;  // bytes not yet handed to the thread
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::vector<std::string> spares_;  // batches hashed, kept for reuse
  size_t queued_bytes_ = 0;
  bool finished_ = false;
  std::thread worker_;
};

}  // namespace trust
