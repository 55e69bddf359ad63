#include "trust/background_sha256.h"

#include <algorithm>
#include <utility>

namespace trust {

namespace {
// Batches large enough that locking costs nothing; pieces smaller than
// kCopyBelow are cheaper to copy than to hold on to.
constexpr size_t kBatch = 1 << 20;
constexpr size_t kCopyBelow = 64 << 10;
// Bounds on what may wait, so memory stays flat whatever the size of the
// download: each piece held may keep a block of up to a megabyte alive.
constexpr size_t kMaxQueuedBytes = 16 * kBatch;
constexpr size_t kMaxQueuedPieces = 32;
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

void BackgroundSha256::Update(std::string_view bytes, const std::shared_ptr<const void>& owner) {
  if (!owner || bytes.size() < kCopyBelow) {
    Copy(bytes);
  } else {
    CloseCopies();
    pending_.push_back({bytes, owner});
    pending_bytes_ += bytes.size();
  }
  if (pending_bytes_ < kBatch) return;
  if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
  HandPending();
}

void BackgroundSha256::Copy(std::string_view bytes) {
  while (!bytes.empty()) {
    // Grown as needed: a small file's few bytes need no megabyte.
    if (!copies_) copies_ = std::make_shared<std::string>();
    const size_t taken = std::min(bytes.size(), kBatch - copies_->size());
    copies_->append(bytes.substr(0, taken));
    bytes.remove_prefix(taken);
    if (copies_->size() == kBatch) CloseCopies();
  }
}

void BackgroundSha256::CloseCopies() {
  if (!copies_ || copies_->empty()) return;
  pending_bytes_ += copies_->size();
  pending_.push_back({*copies_, std::move(copies_)});
}

std::string BackgroundSha256::Final() {
  CloseCopies();
  if (!worker_.joinable()) {
    for (const Piece& piece : pending_) stream_.Update(piece.bytes);
    pending_.clear();
    return stream_.Final();
  }
  HandPending();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
  worker_.join();
  return stream_.Final();
}

void BackgroundSha256::HandPending() {
  if (pending_.empty()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queued_bytes_ < kMaxQueuedBytes && queue_.size() < kMaxQueuedPieces; });
  queued_bytes_ += pending_bytes_;
  for (Piece& piece : pending_) queue_.push_back(std::move(piece));
  lock.unlock();
  pending_.clear();
  pending_bytes_ = 0;
  changed_.notify_all();
}

void BackgroundSha256::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || finished_; });
    if (queue_.empty()) return;
    Piece piece = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    stream_.Update(piece.bytes);
    const size_t size = piece.bytes.size();
    piece.owner.reset();  // its block may go back to its pool now
    lock.lock();
    queued_bytes_ -= size;
    changed_.notify_all();
  }
}

}  // namespace trust
