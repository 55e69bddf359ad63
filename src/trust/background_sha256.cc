#include "trust/background_sha256.h"

#include <utility>

namespace trust {

namespace {
// Batches large enough that locking costs nothing, and a bound on what may
// wait, so memory stays flat whatever the size of the download.
constexpr size_t kBatch = 1 << 20;
constexpr size_t kMaxQueued = 16 * kBatch;
}  // namespace

BackgroundSha256::BackgroundSha256() = default;

BackgroundSha256::~BackgroundSha256() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void BackgroundSha256::Update(std::string_view bytes) {
  batch_.append(bytes);
  if (batch_.size() < kBatch) return;
  if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
  Hand(std::exchange(batch_, TakeSpare()));
}

std::string BackgroundSha256::TakeSpare() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string spare;
  if (!spares_.empty()) {
    spare = std::move(spares_.back());
    spares_.pop_back();
  }
  spare.clear();
  spare.reserve(kBatch);
  return spare;
}

std::string BackgroundSha256::Final() {
  if (!worker_.joinable()) {
    stream_.Update(batch_);
    return stream_.Final();
  }
  if (!batch_.empty()) Hand(std::exchange(batch_, std::string()));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
  worker_.join();
  return stream_.Final();
}

void BackgroundSha256::Hand(std::string batch) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queued_bytes_ < kMaxQueued; });
  queued_bytes_ += batch.size();
  queue_.push_back(std::move(batch));
  lock.unlock();
  changed_.notify_all();
}

void BackgroundSha256::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || finished_; });
    if (queue_.empty()) return;
    std::string batch = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    stream_.Update(batch);
    lock.lock();
    queued_bytes_ -= batch.size();
    // Reused: a fresh megabyte each time would be fresh pages to fault in.
    spares_.push_back(std::move(batch));
    changed_.notify_all();
  }
}

}  // namespace trust
