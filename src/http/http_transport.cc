#include "http/http_transport.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>

#include "http/http_fetch.h"
#include "http/http_urls.h"
#include "http/range_answer.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/ip_address.h"
#include "platform/socket_errors.h"
#include "transport/fetched_ahead.h"

namespace {

// Files fetched ahead at once per connection the settings allow: HTTP/2
// carries them all over one connection, and with the default 4
// connections 32 small files in flight keep a link with real round trips
// busy, as `curl --parallel-max 32` does, well within the 100 or more
// streams servers allow. Over HTTP/1.1 each needs a connection of its own.
constexpr int kStreamsPerConnection = 8;
constexpr int kMostStreams = 32;

// Ranges this close are fetched as one, and what each range is counted
// to cost (RangeRequestCost). Within one request each range costs its
// part's boundary and headers in the answer (about 130 bytes) and its text
// in the Range header; a gap of a few of those is cheaper fetched, and
// each merge leaves room in the request for another range.
constexpr int64_t kMergeGap = 1024;
// Bounds on one request for ranges: servers limit the ranges they serve
// at once (some to a hundred or two, past which they send the whole file)
// and the length of a header line (8 KiB is common), so a plan of many
// ranges goes out as several requests, one after the other.
constexpr size_t kMostRangesPerRequest = 64;
constexpr size_t kMostRangeHeaderBytes = 4000;

// How many spans from `first` on one request asks for.
size_t SpansOfOneRequest(const std::vector<RangeRequest>& spans, size_t first) {
  size_t count = 0;
  size_t header = 0;
  for (size_t i = first; i < spans.size() && count < kMostRangesPerRequest; ++i, ++count) {
    // "first-last," with both numbers in decimal.
    header += std::to_string(spans[i].span.offset).size() +
              std::to_string(spans[i].span.offset + spans[i].span.length - 1).size() + 2;
    if (count > 0 && header > kMostRangeHeaderBytes) break;
  }
  return count;
}

// A planned download and its fetch ahead, once begun.
struct AheadFetch {
  PlannedDownload plan;
  std::unique_ptr<HttpFetch> fetch;
};

// Shows `fetch` as the transport's running transfer until it goes out of scope.
class RunningFetch {
 public:
  RunningFetch(const HttpFetch*& slot, const HttpFetch& fetch) : slot_(slot) { slot_ = &fetch; }
  ~RunningFetch() { slot_ = nullptr; }
  RunningFetch(const RunningFetch&) = delete;
  RunningFetch& operator=(const RunningFetch&) = delete;

 private:
  const HttpFetch*& slot_;
};

class HttpTransport : public Transport {
 public:
  HttpTransport(TransportEvents& events, const NetworkSettings& network)
      : events_(events), network_(network), client_(NewHttpClient(network.Connections + 1)) {
    options_.stall_ms = network.StallTimeMs;
    options_.min_rate_bps = network.MinRateBps;
    options_.rate_limit = network.RateLimit;
  }
  ~HttpTransport() override { DropPlans(); }

  void Connect(const ServerLogin& login) override {
    canceled_ = false;
    if (connected_) return;
    options_.scheme = login.scheme;
    options_.connect_timeout_ms = login.timeout_ms;
    options_.ca_bundle = TrustedCaBundle(network_.CaFile);
    folder_url_ = ServerFolderUrl(login);
    // Any answer shows an HTTP server there; a static host may well refuse
    // to show a folder.
    FetchRequest request;
    request.url = folder_url_;
    request.name = folder_url_;
    request.probe = true;
    request.total_timeout_ms = login.timeout_ms;
    events_.Status("HEAD " + folder_url_);
    const std::unique_ptr<HttpFetch> owned = client_->NewFetch(options_, std::move(request), session_bytes_);
    HttpFetch& probe = *owned;
    probe.Start();
    while (!probe.Finished() && !canceled_) platform::WaitForEvent(2);
    if (!probe.Finished()) {
      probe.Fail(FetchFailure{});
      throw Exception("Connection Canceled");
    }
    platform::IpAddress numeric;
    const bool named = !platform::ParseNumericAddress(login.host, numeric);
    if (const std::optional<FetchFailure>& failure = probe.Failure()) {
      events_.Status(failure->text);
      if (failure->cause == FetchCause::kNoSuchHost) {
        events_.InvalidHost();
        throw Exception("Null Remote Address");
      }
      if (named) events_.HostResolved();
      FailLogin(*failure, probe.Connected());
    }
    if (named) events_.HostResolved();
    events_.Status("HTTP " + std::to_string(probe.Status()));
    const bool multiplexing = probe.Multiplexed();
    ahead_limit_ = network_.Connections <= 1 ? 0
                   : multiplexing            ? std::min(network_.Connections * kStreamsPerConnection, kMostStreams)
                                             : network_.Connections;
    connected_ = true;
    events_.Connected();
  }

  void StartSession() override { options_.connect_timeout_ms = 0; }

  void Disconnect() override {
    DropPlans();
    if (!connected_) return;
    connected_ = false;
    events_.Disconnected();
  }

  bool HasNameListing() const override { return false; }
  void ListNames() override { throw Exception("An HTTP server offers no listing of its folder"); }

  void Download(const std::string& remote, const std::string& local_path, int64_t listed_size,
                const ByteSink& sink, bool resume) override {
    canceled_ = false;
    received_file_.reset();
    std::optional<AheadFetch> ahead = TakePlan(remote, local_path);
    if (ahead && ahead->fetch) {
      if (DeliverFetchedAhead(*ahead, local_path, sink)) return;
      // What the fetch ahead received is the file's beginning: continued
      // here as the same transfer, its start already shown.
      resume = KeepPartFetchedAhead(ahead->plan.ahead_path, local_path) || resume;
      ahead.reset();
      start_shown_ = true;
    }
    struct StartShownReset {
      bool& shown;
      ~StartShownReset() { shown = false; }
    } start_reset{start_shown_};
    FetchRequest request;
    request.url = folder_url_ + EscapeRemotePath(remote);
    request.name = remote;
    request.local_path = local_path;
    request.listed_size = listed_size;
    request.held = resume ? HeldBytesToContinue(local_path, listed_size) : 0;
    request.sink = sink;
    if (!connected_) {
      FailDownload(DownloadFailure::kCutOff, "Not Connected");
    }
    const std::unique_ptr<HttpFetch> owned = client_->NewFetch(options_, std::move(request), session_bytes_);
    HttpFetch& fetch = *owned;
    const RunningFetch running(running_, fetch);
    fetch.Start();
    AwaitShowingProgress(fetch, remote);
    last_bytes_ = fetch.Received();
    if (const std::optional<FetchFailure>& failure = fetch.Failure()) {
      FailDownload(*failure);
    }
    events_.TransferStopped();
    received_file_ = fetch.File();
  }

  int64_t RangeRequestCost() const override { return kMergeGap; }
  void DownloadRanges(const std::string& remote, const std::vector<ByteRange>& ranges, int64_t served_size,
                      const RangeSink& sink) override {
    canceled_ = false;
    received_file_.reset();
    if (ranges.empty()) return;
    if (!connected_) {
      FailDownload(DownloadFailure::kCutOff, "Not Connected");
    }
    if (const std::optional<std::string> fault = RangesFault(ranges, served_size)) {
      FailDownload(DownloadFailure::kRefused, "Cannot ask for " + *fault + " of " + remote);
    }
    RangesRun run{RangesBytes(ranges)};
    ranges_ = &run;
    struct RunReset {
      HttpTransport& transport;
      ~RunReset() {
        transport.last_bytes_ = transport.ranges_->done;
        transport.ranges_ = nullptr;
        transport.start_shown_ = false;
      }
    } reset{*this};
    const std::vector<RangeRequest> spans = MergeRanges(ranges, kMergeGap);
    for (size_t first = 0; first < spans.size();) {
      const size_t count = SpansOfOneRequest(spans, first);
      RangeAnswer answer(ranges, {spans.begin() + first, spans.begin() + first + count}, served_size, sink);
      run.answer = &answer;
      FetchRequest request;
      request.url = folder_url_ + EscapeRemotePath(remote);
      request.name = remote;
      request.ranges = &answer;
      const std::unique_ptr<HttpFetch> owned = client_->NewFetch(options_, std::move(request), session_bytes_);
      HttpFetch& fetch = *owned;
      fetch.Start();
      AwaitShowingProgress(fetch, remote);
      run.answer = nullptr;
      run.done += answer.WantedReceived();
      if (const std::optional<FetchFailure>& failure = fetch.Failure()) {
        FailDownload(*failure);
      }
      start_shown_ = true;  // the next request goes on with the same transfer
      first += count;
    }
    events_.TransferStopped();
  }

  std::optional<platform::FileIdentity> ReceivedFile() const override { return received_file_; }
  int64_t BytesReceived() const override {
    if (ranges_ != nullptr) return ranges_->done + (ranges_->answer ? ranges_->answer->WantedReceived() : 0);
    return running_ != nullptr ? running_->Received() : last_bytes_;
  }
  int64_t BytesTotal() const override {
    if (ranges_ != nullptr) return ranges_->total;
    return running_ != nullptr ? running_->Total() : last_bytes_;
  }
  void Cancel() override { canceled_ = true; }

  void PlanDownload(const PlannedDownload& download) override {
    if (!connected_ || ahead_limit_ == 0) return;
    plans_.push_back(AheadFetch{download, nullptr});
    StartFetchesAhead();
  }

  void DropPlans() override {
    while (!plans_.empty()) {
      DropFetch(plans_.front());
      plans_.pop_front();
    }
  }
  int64_t SessionBytesReceived() const override { return session_bytes_.load(std::memory_order_relaxed); }

 private:
  // Every way a download fails: its event, then the error that says why.
  [[noreturn]] void FailDownload(DownloadFailure failure, const std::string& text) {
    events_.TransferFailed(TransferCommand::kDownload);
    throw EDownloadError(failure, text);
  }
  [[noreturn]] void FailDownload(const FetchFailure& failure) {
    if (failure.socket_error != 0)
      events_.Error(static_cast<unsigned short>(failure.socket_error),
                    platform::WinSockErrorMessage(failure.socket_error));
    FailDownload(failure.kind, failure.text);
  }

  [[noreturn]] void FailLogin(const FetchFailure& failure, bool connected) {
    // The texts DescribeFailedLogin knows for the like failures of a socket.
    if (failure.cause == FetchCause::kConnectFailed) {
      events_.ConnectionFailed();
      throw Exception("Connection Failed");
    }
    if (failure.cause == FetchCause::kTimedOut) {
      if (!connected) events_.ConnectionFailed();
      throw Exception("Connection Timed out");
    }
    if (failure.socket_error != 0) {
      events_.Error(static_cast<unsigned short>(failure.socket_error),
                    platform::WinSockErrorMessage(failure.socket_error));
    }
    throw Exception(failure.text);
  }

  // Pumps until `fetch` ends, raising the transfer's start and its
  // progress on the way; a Cancel ends it as cut off.
  void AwaitShowingProgress(HttpFetch& fetch, const std::string& remote) {
    bool started = start_shown_;
    int64_t shown = -1;
    for (;;) {
      if (fetch.AwaitsReplay()) fetch.ReplayHeld();
      if (!started && fetch.Began()) {
        started = true;
        events_.TransferStarted();
      }
      if (started && fetch.Received() != shown) {
        shown = fetch.Received();
        events_.BytesArrived();
      }
      if (fetch.Finished()) return;
      if (canceled_) {
        fetch.Fail(FetchFailure{DownloadFailure::kCutOff, "Download of " + remote + " cancelled"});
        return;
      }
      platform::WaitForEvent(2);
    }
  }

  // Begins the fetches of the first plans, as many as may run at once.
  // Runs on the loop too, as each fetch ahead ends.
  void StartFetchesAhead() {
    int running = 0;
    for (AheadFetch& ahead : plans_) {
      if (ahead.fetch && !ahead.fetch->Finished()) ++running;
    }
    for (AheadFetch& ahead : plans_) {
      if (running >= ahead_limit_) return;
      if (ahead.fetch) continue;
      FetchRequest request;
      request.url = folder_url_ + EscapeRemotePath(ahead.plan.remote);
      request.name = ahead.plan.remote;
      request.local_path = ahead.plan.ahead_path;
      request.listed_size = ahead.plan.listed_size;
      try {
        ahead.fetch = client_->NewFetch(options_, std::move(request), session_bytes_);
        ahead.fetch->Start([this] { StartFetchesAhead(); });
      } catch (const Exception&) {
        // the library took no more transfers: the plan is fetched by its Download.
        ahead.fetch.reset();
        return;
      }
      ++running;
    }
  }

  // The first plan for `remote` into `local_path`, out of the plans; the
  // plans before it are dropped, as the engine has passed them over.
  std::optional<AheadFetch> TakePlan(const std::string& remote, const std::string& local_path) {
    const auto found = std::find_if(plans_.begin(), plans_.end(), [&](const AheadFetch& ahead) {
      return ahead.plan.remote == remote && ahead.plan.local_path == local_path;
    });
    if (found == plans_.end()) return std::nullopt;
    std::optional<AheadFetch> taken(std::move(*found));
    const auto passed_over = found - plans_.begin();
    for (auto it = plans_.begin(); it != found; ++it) DropFetch(*it);
    plans_.erase(plans_.begin(), plans_.begin() + passed_over + 1);
    StartFetchesAhead();
    return taken;
  }

  // Stops a plan's fetch and removes its file.
  static void DropFetch(AheadFetch& ahead) {
    if (!ahead.fetch) return;
    ahead.fetch.reset();
    (void)platform::RemoveFileIfPresent(ahead.plan.ahead_path);  // a file that stays is swept by the next run
  }

  // Waits for a fetch ahead, showing it as the running transfer, and hands
  // its file over. False when it failed: its part is then for the caller
  // to continue. Throws EDownloadError on a cancel or a local failure.
  bool DeliverFetchedAhead(AheadFetch& ahead, const std::string& local_path, const ByteSink& sink) {
    HttpFetch& fetch = *ahead.fetch;
    const RunningFetch running(running_, fetch);
    events_.TransferStarted();
    int64_t shown = -1;
    while (!fetch.Finished()) {
      if (canceled_) {
        DropFetch(ahead);
        FailDownload(DownloadFailure::kCutOff, "Download of " + ahead.plan.remote + " cancelled");
      }
      if (fetch.Received() != shown) {
        shown = fetch.Received();
        events_.BytesArrived();
      }
      platform::WaitForEvent(2);
    }
    if (fetch.Failure()) return false;
    if (const std::optional<std::string> failure = HandOverFetchedAhead(ahead.plan.ahead_path, local_path, sink)) {
      FailDownload(DownloadFailure::kLocal, *failure);
    }
    last_bytes_ = fetch.Received();
    events_.BytesArrived();
    events_.TransferStopped();
    received_file_ = fetch.File();
    return true;
  }

  // The running DownloadRanges.
  struct RangesRun {
    int64_t total;                        // the ranges' sum
    int64_t done = 0;                     // the wanted bytes of the requests made so far
    const RangeAnswer* answer = nullptr;  // the running request's
  };

  TransportEvents& events_;
  const NetworkSettings network_;
  // HTTP/1.1 keeps one connection per file fetched at once: the engine's
  // and each fetch ahead's.
  std::unique_ptr<HttpClient> client_;  // before the requests, which run on it
  HttpOptions options_;
  std::string folder_url_;
  bool connected_ = false;
  int ahead_limit_ = 0;  // fetches ahead at once
  bool canceled_ = false;
  bool start_shown_ = false;  // the running Download continues a fetch ahead whose start was shown
  const HttpFetch* running_ = nullptr;  // the Download in progress
  RangesRun* ranges_ = nullptr;
  int64_t last_bytes_ = 0;
  std::optional<platform::FileIdentity> received_file_;
  std::atomic<int64_t> session_bytes_{0};
  std::deque<AheadFetch> plans_;  // in the engine's order; after client_, which they run on
};

}  // namespace

TransportFactory HttpTransportFactory() {
  return [](TransportEvents& events, const NetworkSettings& network) -> std::unique_ptr<Transport> {
    return std::make_unique<HttpTransport>(events, network);
  };
}
