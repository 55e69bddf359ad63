#include "prefetch/ahead_queue.h"

#include <algorithm>

#include "platform/file_system.h"

void AheadQueue::Add(PlannedDownload plan) {
  {
    std::lock_guard lock(mutex_);
    plans_.push_back(std::make_shared<AheadDownload>(std::move(plan)));
  }
  changed_.notify_one();
}

std::shared_ptr<AheadDownload> AheadQueue::NextToFetch() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (stopping_) return nullptr;
    const auto waiting = std::find_if(plans_.begin(), plans_.end(), [](const auto& ahead) {
      return ahead->state == AheadDownload::State::kWaiting;
    });
    if (waiting != plans_.end()) {
      (*waiting)->state = AheadDownload::State::kFetching;
      return *waiting;
    }
    changed_.wait(lock);
  }
}

std::shared_ptr<AheadDownload> AheadQueue::SmallOneToFetch(int64_t max_size) {
  std::lock_guard lock(mutex_);
  const auto waiting = std::find_if(plans_.begin(), plans_.end(), [](const auto& ahead) {
    return ahead->state == AheadDownload::State::kWaiting;
  });
  if (waiting == plans_.end()) return nullptr;
  const int64_t size = (*waiting)->plan.listed_size;
  if (size < 0 || size > max_size) return nullptr;
  (*waiting)->state = AheadDownload::State::kFetching;
  return *waiting;
}

void AheadQueue::Finish(const std::shared_ptr<AheadDownload>& ahead, bool whole) {
  std::lock_guard lock(mutex_);
  ahead->state = whole ? AheadDownload::State::kFetched : AheadDownload::State::kFailed;
  // A file nobody will ask for; one that cannot be removed stays noted
  // for the next run.
  if (ahead->dropped) (void)platform::RemoveFileIfPresent(ahead->plan.ahead_path);
}

std::shared_ptr<AheadDownload> AheadQueue::Take(const std::string& remote, const std::string& local_path) {
  std::lock_guard lock(mutex_);
  const auto found = std::find_if(plans_.begin(), plans_.end(), [&](const auto& ahead) {
    return ahead->plan.remote == remote && ahead->plan.local_path == local_path;
  });
  if (found == plans_.end()) return nullptr;
  std::shared_ptr<AheadDownload> taken = *found;
  std::for_each(plans_.begin(), found, [this](const auto& skipped) { Drop(*skipped); });
  plans_.erase(plans_.begin(), found + 1);
  // Out of the queue, a waiting plan is nobody's to fetch but the caller's.
  if (taken->state == AheadDownload::State::kWaiting) return nullptr;
  return taken;
}

AheadDownload::State AheadQueue::StateOf(const AheadDownload& ahead) {
  std::lock_guard lock(mutex_);
  return ahead.state;
}

void AheadQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (const auto& ahead : plans_) Drop(*ahead);
    plans_.clear();
  }
  changed_.notify_all();
}

bool AheadQueue::Stopping() {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void AheadQueue::Drop(AheadDownload& ahead) {
  ahead.dropped = true;
  // A helper still fetching it removes it when it ends.
  if (ahead.state != AheadDownload::State::kFetching) (void)platform::RemoveFileIfPresent(ahead.plan.ahead_path);
}
