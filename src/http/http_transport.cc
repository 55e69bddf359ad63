#include "http/http_transport.h"

#include <atomic>
#include <memory>

#include "http/curl_multi_loop.h"
#include "http/http_fetch.h"
#include "http/http_urls.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/ip_address.h"
#include "platform/socket_errors.h"

namespace {

// The system's trusted CAs followed by those of `ca_file`: with a CA file
// given, libcurl is handed both as one bundle, since a file of its own
// would replace the system's instead of adding to it. "" without one.
// Throws EFOpenError when ca_file cannot be read.
std::string CaBundle(const std::string& ca_file) {
  if (ca_file.empty()) return "";
  std::string bundle;
  CURL* easy = curl_easy_init();
  char* system_bundle = nullptr;
  if (easy != nullptr && curl_easy_getinfo(easy, CURLINFO_CAINFO, &system_bundle) == CURLE_OK &&
      system_bundle != nullptr && platform::FileExists(system_bundle)) {
    bundle = platform::ReadWholeFile(system_bundle) + "\n";
  }
  curl_easy_cleanup(easy);
  return bundle + platform::ReadWholeFile(ca_file);
}

class HttpTransport : public Transport {
 public:
  HttpTransport(TransportEvents& events, const NetworkSettings& network) : events_(events), network_(network) {
    options_.stall_ms = network.StallTimeMs;
    options_.min_rate_bps = network.MinRateBps;
    options_.rate_limit = network.RateLimit;
    // HTTP/1.1 keeps one connection per file fetched at once: the engine's
    // and each fetch ahead's.
    loop_.SetConnectionLimit(network.Connections + 1);
  }

  void Connect(const ServerLogin& login) override {
    canceled_ = false;
    if (connected_) return;
    options_.scheme = login.scheme;
    options_.connect_timeout_ms = login.timeout_ms;
    options_.ca_bundle = CaBundle(network_.CaFile);
    folder_url_ = ServerFolderUrl(login);
    // Any answer shows an HTTP server there; a static host may well refuse
    // to show a folder.
    FetchRequest request;
    request.url = folder_url_;
    request.name = folder_url_;
    request.probe = true;
    request.total_timeout_ms = login.timeout_ms;
    events_.Status("HEAD " + folder_url_);
    HttpFetch probe(loop_, options_, std::move(request), session_bytes_);
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
      if (failure->code == CURLE_COULDNT_RESOLVE_HOST) {
        events_.InvalidHost();
        throw Exception("Null Remote Address");
      }
      if (named) events_.HostResolved();
      FailLogin(*failure, probe.Connected());
    }
    if (named) events_.HostResolved();
    events_.Status("HTTP " + std::to_string(probe.Status()));
    multiplexing_ = probe.HttpVersion() == CURL_HTTP_VERSION_2_0;
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
    FetchRequest request;
    request.url = folder_url_ + EscapeRemotePath(remote);
    request.name = remote;
    request.local_path = local_path;
    request.listed_size = listed_size;
    request.held = resume ? HeldBytesToContinue(local_path, listed_size) : 0;
    request.sink = sink;
    if (!connected_) {
      events_.TransferFailed(TransferCommand::kDownload);
      throw EDownloadError(DownloadFailure::kCutOff, "Not Connected");
    }
    HttpFetch fetch(loop_, options_, std::move(request), session_bytes_);
    running_ = &fetch;
    struct RunningReset {
      const HttpFetch*& running;
      ~RunningReset() { running = nullptr; }
    } reset{running_};
    fetch.Start();
    AwaitShowingProgress(fetch, remote);
    last_bytes_ = fetch.Received();
    if (const std::optional<FetchFailure>& failure = fetch.Failure()) {
      if (failure->socket_error != 0)
        events_.Error(static_cast<unsigned short>(failure->socket_error),
                      platform::WinSockErrorMessage(failure->socket_error));
      events_.TransferFailed(TransferCommand::kDownload);
      throw EDownloadError(failure->kind, failure->text);
    }
    events_.TransferStopped();
    received_file_ = fetch.File();
  }

  std::optional<platform::FileIdentity> ReceivedFile() const override { return received_file_; }
  int64_t BytesReceived() const override { return running_ != nullptr ? running_->Received() : last_bytes_; }
  int64_t BytesTotal() const override { return running_ != nullptr ? running_->Total() : last_bytes_; }
  void Cancel() override { canceled_ = true; }
  int64_t SessionBytesReceived() const override { return session_bytes_.load(std::memory_order_relaxed); }

 private:
  [[noreturn]] void FailLogin(const FetchFailure& failure, bool connected) {
    // The texts DescribeFailedLogin knows for the like failures of a socket.
    if (failure.code == CURLE_COULDNT_CONNECT) {
      events_.ConnectionFailed();
      throw Exception("Connection Failed");
    }
    if (failure.code == CURLE_OPERATION_TIMEDOUT) {
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
    bool started = false;
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

  TransportEvents& events_;
  const NetworkSettings network_;
  HttpOptions options_;
  CurlMultiLoop loop_;  // after options_, which its requests read; before them all
  std::string folder_url_;
  bool connected_ = false;
  bool multiplexing_ = false;  // the server speaks HTTP/2: fetches ahead share one connection
  bool canceled_ = false;
  const HttpFetch* running_ = nullptr;  // the Download in progress
  int64_t last_bytes_ = 0;
  std::optional<platform::FileIdentity> received_file_;
  std::atomic<int64_t> session_bytes_{0};
};

}  // namespace

TransportFactory HttpTransportFactory() {
  return [](TransportEvents& events, const NetworkSettings& network) -> std::unique_ptr<Transport> {
    return std::make_unique<HttpTransport>(events, network);
  };
}
