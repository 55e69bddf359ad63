// SHA-256 of bytes that arrive in pieces, computed on a thread of its own,
// so that hashing a download overlaps with receiving and writing it instead
// of adding to them. A large piece is hashed where it lies, its owner kept
// until then; small ones are copied together into batches. When the
// hashing falls behind by more than a few MiB, Update waits for it. The
// thread starts once a megabyte has come: a smaller input is hashed by
// Final, on the owner's thread, since a thread would cost more than the
// hashing.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
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
  // `owner` keeps `bytes` alive for as long as a share in it is held (see
  // platform::BlockConsumer); without one, the bytes are copied.
  void Update(std::string_view bytes, const std::shared_ptr<const void>& owner = nullptr);
  // The digest of every byte given, in lower-case hex. Call it once.
  std::string Final();

 private:
  struct Piece {
    std::string_view bytes;
    std::shared_ptr<const void> owner;
  };
  void Copy(std::string_view bytes);
  // Moves the batch of copies, if any, to the pieces not yet handed over.
  void CloseCopies();
  void HandPending();
  void Work();

  Sha256Stream stream_;
  std::shared_ptr<std::string> copies_;  // small pieces, copied together
  std::vector<Piece> pending_;           // not yet handed to the thread
  size_t pending_bytes_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> queue_;
  size_t queued_bytes_ = 0;
  bool finished_ = false;
  std::thread worker_;
};

}  // namespace trust
