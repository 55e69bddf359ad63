// The planned downloads of a prefetching transport, shared between the
// engine's thread and the helper connections' threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "transport/transport.h"

struct AheadDownload {
  enum class State {
    kWaiting,   // nobody fetches it yet
    kFetching,  // a helper fetches it into ahead_path
    kFetched,   // whole in ahead_path
    kFailed,    // the helper's download failed; ahead_path may hold a part
  };

  explicit AheadDownload(PlannedDownload planned) : plan(std::move(planned)) {}

  const PlannedDownload plan;
  State state = State::kWaiting;  // guarded by the queue's mutex
  bool dropped = false;           // nobody will ask for it: its helper removes its file
  // What the helper has received of it, and its expected size.
  std::atomic<int64_t> received{0};
  std::atomic<int64_t> total{0};
  // The file the fetch wrote into, once kFetched.
  std::optional<platform::FileIdentity> file;
};

class AheadQueue {
 public:
  // Appends a plan; wakes a helper.
  void Add(PlannedDownload plan);

  // For a helper: the first waiting plan, now kFetching; nullptr once the
  // queue stops. Blocks while there is none.
  std::shared_ptr<AheadDownload> NextToFetch();
  // For the engine's connection while it waits: the first waiting plan if
  // it is listed at no more than max_size bytes, now kFetching; else
  // nullptr, at once.
  std::shared_ptr<AheadDownload> SmallOneToFetch(int64_t max_size);
  // For a helper: the end of its fetch. Removes the file of a plan dropped
  // meanwhile.
  void Finish(const std::shared_ptr<AheadDownload>& ahead, bool whole);

  // For the engine's Download: the first plan for `remote` into
  // `local_path`, out of the queue; the plans before it are dropped.
  // nullptr when there is none, or when no helper has begun it: then the
  // caller fetches it itself.
  std::shared_ptr<AheadDownload> Take(const std::string& remote, const std::string& local_path);
  AheadDownload::State StateOf(const AheadDownload& ahead);

  // Drops every plan and wakes every helper to end.
  void Stop();
  bool Stopping();

 private:
  // Drops `ahead` with the mutex held.
  void Drop(AheadDownload& ahead);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<AheadDownload>> plans_;
  bool stopping_ = false;
};
