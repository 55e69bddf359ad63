#include "prefetch/prefetching_transport.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/event_loop.h"
#include "prefetch/ahead_queue.h"
#include "transport/fetched_ahead.h"

namespace {

// How often the engine's thread looks at a fetch ahead it waits for; the
// helper's end wakes it at once.
constexpr int kProgressIntervalMs = 50;
// While it waits for a helper, the engine's connection fetches ahead too,
// but only files this small, so that the wait it adds stays short.
constexpr int64_t kSmallFileBytes = 256 * 1024;

// The engine's events, except while its connection fetches ahead: then
// only the loss of the connection reaches the engine.
class RelayEvents : public TransportEvents {
 public:
  explicit RelayEvents(TransportEvents& to) : to_(to) {}
  bool muted = false;
  // The next start continues a transfer whose start was already shown.
  bool continuing = false;

  void HostResolved() override { to_.HostResolved(); }
  void InvalidHost() override { to_.InvalidHost(); }
  void Connected() override { to_.Connected(); }
  void ConnectionFailed() override { to_.ConnectionFailed(); }
  void Disconnected() override { to_.Disconnected(); }
  void Status(const std::string& text) override {
    if (!muted) to_.Status(text);
  }
  void Error(unsigned short number, const std::string& message) override {
    if (!muted) to_.Error(number, message);
  }
  void TransferStarted() override {
    if (continuing) {
      continuing = false;
      return;
    }
    if (!muted) to_.TransferStarted();
  }
  void TransferStopped() override {
    if (!muted) to_.TransferStopped();
  }
  void BytesArrived() override {
    if (!muted) to_.BytesArrived();
  }
  void TransferFailed(TransferCommand command) override {
    if (!muted) to_.TransferFailed(command);
  }
  void NameListed(const std::string& name) override { to_.NameListed(name); }

 private:
  TransportEvents& to_;
};

// Shows `ahead` as the running transfer (BytesReceived, BytesTotal) for
// its lifetime.
class ServingScope {
 public:
  ServingScope(const AheadDownload*& serving, const AheadDownload& ahead) : serving_(serving) { serving_ = &ahead; }
  ~ServingScope() { serving_ = nullptr; }
  ServingScope(const ServingScope&) = delete;
  ServingScope& operator=(const ServingScope&) = delete;

 private:
  const AheadDownload*& serving_;
};

// Fetches a plan into its ahead file over `transport`; true when whole.
bool FetchAhead(Transport& transport, AheadDownload& ahead) {
  try {
    transport.Download(ahead.plan.remote, ahead.plan.ahead_path, ahead.plan.listed_size, {}, false);
  } catch (const std::exception&) {
    return false;  // fetched again in its turn, on the engine's connection, which reports why
  }
  ahead.received = transport.BytesTotal();
  ahead.total = transport.BytesTotal();
  ahead.file = transport.ReceivedFile();
  return true;
}

// A helper connection's events: nobody sees them, except that progress and
// a lost connection are noted.
class HelperEvents : public TransportEvents {
 public:
  Transport* transport = nullptr;
  AheadDownload* current = nullptr;
  bool disconnected = false;

  void HostResolved() override {}
  void InvalidHost() override {}
  void Connected() override {}
  void ConnectionFailed() override {}
  void Disconnected() override { disconnected = true; }
  void Status(const std::string&) override {}
  void Error(unsigned short, const std::string&) override {}
  void TransferStarted() override {
    if (current != nullptr) current->total = transport->BytesTotal();
  }
  void TransferStopped() override {}
  void BytesArrived() override {
    if (current != nullptr) current->received = transport->BytesReceived();
  }
  void TransferFailed(TransferCommand) override {}
  void NameListed(const std::string&) override {}
};

// One helper connection on a thread of its own: logs in, then fetches
// waiting plans until the queue stops, the server refuses it or the
// connection is lost.
class Helper {
 public:
  Helper(const TransportFactory& single, const NetworkSettings& network, const ServerLogin& login,
         AheadQueue& queue, platform::MessageLoopRef engine_loop)
      : thread_([this, single, network, login, &queue, engine_loop] {
          Run(single, network, login, queue, engine_loop);
        }) {}
  ~Helper() { Join(); }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  // What the helper's connection has received so far.
  int64_t BytesReceived() {
    std::lock_guard lock(mutex_);
    return transport_ != nullptr ? transport_->SessionBytesReceived() : final_bytes_;
  }

  // Ends the helper's running operation; the queue must be stopping.
  void Cancel() {
    std::lock_guard lock(mutex_);
    if (loop_) loop_->Post([this] {
        if (transport_ != nullptr) transport_->Cancel();
      });
  }

 private:
  void Run(const TransportFactory& single, const NetworkSettings& network, const ServerLogin& login,
           AheadQueue& queue, const platform::MessageLoopRef& engine_loop) {
    platform::ThreadMessageLoop loop;
    HelperEvents events;
    std::unique_ptr<Transport> transport = single(events, network);
    events.transport = transport.get();
    {
      std::lock_guard lock(mutex_);
      transport_ = transport.get();
      loop_ = platform::MessageLoopRef::Current();
    }
    // Posted cancels only run while the transport pumps this loop; it is
    // not pumped once the transport is gone, so they never reach it.
    try {
      if (!queue.Stopping()) {
        transport->Connect(login);
        transport->StartSession();
      }
    } catch (const std::exception&) {
      events.disconnected = true;  // refused or unreachable: the other connections go on
    }
    while (!events.disconnected && !queue.Stopping()) {
      const std::shared_ptr<AheadDownload> ahead = queue.NextToFetch();
      if (!ahead) break;
      events.current = ahead.get();
      const bool whole = FetchAhead(*transport, *ahead);
      events.current = nullptr;
      queue.Finish(ahead, whole);
      engine_loop.Post([] {});
    }
    std::lock_guard lock(mutex_);
    final_bytes_ = transport->SessionBytesReceived();
    transport_ = nullptr;  // a cancel posted from now on finds nothing to end
  }

  std::mutex mutex_;
  Transport* transport_ = nullptr;
  int64_t final_bytes_ = 0;
  std::optional<platform::MessageLoopRef> loop_;
  std::thread thread_;  // last: starts once the rest is built
};

class PrefetchingTransport : public Transport {
 public:
  PrefetchingTransport(TransportFactory single, TransportEvents& events, const NetworkSettings& network)
      : single_(std::move(single)), events_(events), relay_(events), network_(network), own_(single_(relay_, network)) {}
  ~PrefetchingTransport() override { StopHelpers(); }

  void Connect(const ServerLogin& login) override {
    login_ = login;
    own_->Connect(login);
  }
  void StartSession() override {
    own_->StartSession();
    in_session_ = true;
  }
  void Disconnect() override {
    StopHelpers();
    in_session_ = false;
    own_->Disconnect();
  }
  bool HasNameListing() const override { return own_->HasNameListing(); }
  void ListNames() override { own_->ListNames(); }

  void PlanDownload(const PlannedDownload& download) override {
    if (!in_session_) return;
    if (!queue_) queue_ = std::make_shared<AheadQueue>();
    queue_->Add(download);
    if (helpers_.empty()) {
      std::lock_guard lock(helpers_mutex_);
      const platform::MessageLoopRef here = platform::MessageLoopRef::Current();
      for (int i = 0; i < network_.Connections; ++i)
        helpers_.push_back(std::make_unique<Helper>(single_, network_, login_, *queue_, here));
    }
  }
  // The helpers log out with the plans; the next plan brings them back.
  void DropPlans() override { StopHelpers(); }

  void Download(const std::string& remote, const std::string& local_path, int64_t listed_size,
                const ByteSink& sink, bool resume) override {
    delivered_.reset();
    wait_canceled_ = false;
    // A handler run by a wait below may drop the plans; this queue stays.
    const std::shared_ptr<AheadQueue> queue = queue_;
    const std::shared_ptr<AheadDownload> ahead = queue ? queue->Take(remote, local_path) : nullptr;
    if (!ahead) {
      own_->Download(remote, local_path, listed_size, sink, resume);
      return;
    }
    bool start_shown = false;
    if (!AwaitFetched(*queue, *ahead, start_shown)) {
      // What the helper received before it failed is the file's beginning:
      // the engine's connection continues it where the server allows, as
      // the same transfer.
      const bool kept = KeepPartFetchedAhead(ahead->plan.ahead_path, local_path);
      relay_.continuing = start_shown;
      struct ContinuingReset {
        RelayEvents& relay;
        ~ContinuingReset() { relay.continuing = false; }
      } reset{relay_};
      own_->Download(remote, local_path, listed_size, sink, kept || resume);
      return;
    }
    Deliver(*ahead, local_path, sink);
  }

  // Ranges are never planned: the engine's connection fetches them, while
  // the helpers go on with their plans.
  void DownloadRanges(const std::string& remote, const std::vector<ByteRange>& ranges, int64_t served_size,
                      const RangeSink& sink) override {
    delivered_.reset();
    own_->DownloadRanges(remote, ranges, served_size, sink);
  }
  int64_t RangeRequestCost() const override { return own_->RangeRequestCost(); }

  int64_t BytesReceived() const override {
    if (serving_ != nullptr) return serving_->received;
    return delivered_ ? *delivered_ : own_->BytesReceived();
  }
  int64_t BytesTotal() const override {
    if (serving_ != nullptr) return serving_->total;
    return delivered_ ? *delivered_ : own_->BytesTotal();
  }
  std::optional<platform::FileIdentity> ReceivedFile() const override {
    return delivered_ ? ahead_file_ : own_->ReceivedFile();
  }
  // A wait for a fetch ahead ends too, at its next look at the helper's
  // progress; the helper's file goes with the plans.
  void Cancel() override {
    if (serving_ != nullptr) wait_canceled_ = true;
    own_->Cancel();
  }
  int64_t SessionBytesReceived() const override {
    std::lock_guard lock(helpers_mutex_);
    int64_t bytes = own_->SessionBytesReceived() + retired_bytes_;
    for (const auto& helper : helpers_) bytes += helper->BytesReceived();
    return bytes;
  }

 private:
  // Waits for a helper's fetch of `ahead`, showing its progress as the
  // engine's own transfer, and meanwhile fetches small planned files on
  // the engine's connection. True when `ahead` is whole; start_shown says
  // whether the engine saw the transfer start.
  bool AwaitFetched(AheadQueue& queue, AheadDownload& ahead, bool& start_shown) {
    const ServingScope serving(serving_, ahead);
    AheadDownload::State state = queue.StateOf(ahead);
    if (state == AheadDownload::State::kFetching) {
      events_.TransferStarted();
      start_shown = true;
      int64_t shown = -1;
      while ((state = queue.StateOf(ahead)) == AheadDownload::State::kFetching) {
        if (wait_canceled_) {
          wait_canceled_ = false;
          events_.TransferFailed(TransferCommand::kDownload);
          throw EDownloadError(DownloadFailure::kCutOff, "Download of " + ahead.plan.remote + " cancelled");
        }
        if (ahead.received != shown) {
          shown = ahead.received;
          events_.BytesArrived();
        }
        if (const std::shared_ptr<AheadDownload> small = queue.SmallOneToFetch(kSmallFileBytes)) {
          FetchAheadHere(queue, small);
        } else {
          platform::WaitForEvent(kProgressIntervalMs);
        }
      }
      if (state != AheadDownload::State::kFetched) return false;
    } else if (state == AheadDownload::State::kFetched) {
      events_.TransferStarted();
    } else {
      return false;
    }
    return true;
  }

  // Puts a fetched file where the engine asked for it, as if it had just
  // arrived: the sink hears every byte, the events run as for a transfer.
  void Deliver(AheadDownload& ahead, const std::string& local_path, const ByteSink& sink) {
    const ServingScope serving(serving_, ahead);
    if (const std::optional<std::string> failure = HandOverFetchedAhead(ahead.plan.ahead_path, local_path, sink)) {
      events_.TransferFailed(TransferCommand::kDownload);
      throw EDownloadError(DownloadFailure::kLocal, *failure);
    }
    events_.BytesArrived();
    events_.TransferStopped();
    delivered_ = ahead.total;
    // A rename keeps the file: the one the helper wrote.
    ahead_file_ = ahead.file;
  }

  // Fetches a planned file on the engine's connection, unseen by the engine.
  void FetchAheadHere(AheadQueue& queue, const std::shared_ptr<AheadDownload>& ahead) {
    relay_.muted = true;
    const bool whole = FetchAhead(*own_, *ahead);
    relay_.muted = false;
    queue.Finish(ahead, whole);
  }

  void StopHelpers() {
    if (!queue_) return;
    queue_->Stop();
    std::lock_guard lock(helpers_mutex_);
    for (const auto& helper : helpers_) helper->Cancel();
    for (const auto& helper : helpers_) {
      helper->Join();
      retired_bytes_ += helper->BytesReceived();
    }
    helpers_.clear();
    queue_.reset();
  }

  TransportFactory single_;
  TransportEvents& events_;
  RelayEvents relay_;  // the engine's connection reports through it
  NetworkSettings network_;
  std::unique_ptr<Transport> own_;  // the engine's connection
  ServerLogin login_;
  bool in_session_ = false;
  std::shared_ptr<AheadQueue> queue_;
  mutable std::mutex helpers_mutex_;  // guards helpers_ and retired_bytes_ for SessionBytesReceived
  std::vector<std::unique_ptr<Helper>> helpers_;
  int64_t retired_bytes_ = 0;  // received by helpers that have ended
  const AheadDownload* serving_ = nullptr;  // the fetch ahead shown as the running transfer
  bool wait_canceled_ = false;              // Cancel came while waiting for serving_
  std::optional<int64_t> delivered_;        // the last transfer was a fetch ahead of this size
  std::optional<platform::FileIdentity> ahead_file_;  // and went into this file
};

}  // namespace

TransportFactory PrefetchingTransportFactory(TransportFactory single) {
  return [single](TransportEvents& events, const NetworkSettings& network) -> std::unique_ptr<Transport> {
    if (network.Connections <= 1) return single(events, network);
    return std::make_unique<PrefetchingTransport>(single, events, network);
  };
}
