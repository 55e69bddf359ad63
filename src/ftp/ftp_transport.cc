#include "ftp/ftp_transport.h"

#include <atomic>
#include <string_view>

#include "ftp/ftp_client.h"
#include "transport/range_requests.h"

namespace {

// TimeOut once logged in. The server line's TimeOut is meant for
// connecting; as a bound on a whole wait it would cut long transfers
// short. The client's StallTime bounds silence instead.
constexpr int kSessionTimeOut = 0;

// What a request for a range costs (RangeRequestCost), and the gap up to
// which ranges are fetched as one: each request takes a data connection
// and four commands ("PASV", "REST ", "RETR ", "ABOR"), five round trips,
// and by the time the data connection closes the server has sent what its
// socket buffer held past the range: what is in flight on a far link, a
// megabyte at 20 MB/s and 50 ms, and up to 4 MiB (Linux's send buffer
// bound) on a near one whatever the client's receive buffer. A gap of
// that size costs no more to fetch, and saves the round trips.
constexpr int64_t kRangeRequestCost = 1024 * 1024;

// Inside a catch block: rethrows what is being handled as the
// EDownloadError that says how the download failed.
[[noreturn]] void RethrowAsDownloadError() {
  try {
    throw;
  } catch (const EDownloadError&) {  // already says it
    throw;
  } catch (const ETransferLimit& failure) {
    throw EDownloadError(DownloadFailure::kOverrun, failure.what());
  } catch (const FTPException& failure) {  // a refusing reply
    throw EDownloadError(DownloadFailure::kRefused, failure.what());
  } catch (const EFOpenError& failure) {  // the local file
    throw EDownloadError(DownloadFailure::kLocal, failure.what());
  } catch (const EInOutError& failure) {  // as above
    throw EDownloadError(DownloadFailure::kLocal, failure.what());
  } catch (const Exception& failure) {  // the connection: a reset, a stall, a cancel, a reply past its bounds
    throw EDownloadError(DownloadFailure::kCutOff, failure.what());
  }
}

class FtpTransport : public Transport {
 public:
  FtpTransport(TransportEvents& events, const NetworkSettings& network) : events_(events) {
    client_.StallTime = network.StallTimeMs;
    client_.MinRate = network.MinRateBps;
    client_.Passive = network.Passive;
    client_.RateLimit = network.RateLimit;
    TransportEvents* to = &events;
    client_.OnConnect = [to] { to->Connected(); };
    client_.OnPacketRecvd = [to] { to->BytesArrived(); };
    client_.OnError = [to](unsigned short number, const std::string& message) {
      to->Error(number, message);
    };
    client_.OnTransactionStart = [this, to] {
      // The ranges of one DownloadRanges are one transfer.
      if (ranges_ && ranges_->started) return;
      if (ranges_) ranges_->started = true;
      stop_reported_ = false;
      to->TransferStarted();
    };
    client_.OnDisconnect = [to] { to->Disconnected(); };
    // The client raises its stop when the data ends and again after the
    // final reply of a download; the seam's event ends a transfer once.
    client_.OnTransactionStop = [this, to] {
      if (stop_reported_ || ranges_) return;
      stop_reported_ = true;
      to->TransferStopped();
    };
    client_.OnFailure = [to](bool&, TCmdType type) {
      to->TransferFailed(type == cmdNList ? TransferCommand::kList : TransferCommand::kDownload);
    };
    client_.OnHostResolved = [to] { to->HostResolved(); };
    client_.OnConnectionFailed = [to] { to->ConnectionFailed(); };
    client_.OnInvalidHost = [to](bool&) { to->InvalidHost(); };
    client_.OnStatus = [to](const std::string& text) { to->Status(text); };
    client_.OnListItem = [to](const std::string& name) { to->NameListed(name); };
  }

  void Connect(const ServerLogin& login) override {
    // The client works in the folder the login starts in.
    if (!login.base_path.empty())
      throw Exception("an FTP server is named by host and port, not by a URL with a folder (" + login.base_path +
                      ")");
    client_.Host = login.host;
    client_.Port = login.port;
    client_.TimeOut = login.timeout_ms;
    client_.UserID = login.user;
    client_.Password = login.password;
    client_.Connect();
  }
  void StartSession() override { client_.TimeOut = kSessionTimeOut; }
  void Disconnect() override { client_.Disconnect(); }
  bool HasNameListing() const override { return true; }
  void ListNames() override {
    last_ranges_bytes_.reset();
    client_.Nlist();
  }
  void Download(const std::string& remote, const std::string& local_path, int64_t listed_size,
                const ByteSink& sink, bool resume) override {
    last_ranges_bytes_.reset();
    client_.OnBytesCaptured = [this, &sink](std::string_view bytes, const std::shared_ptr<const void>& owner) {
      if (!client_.ReplayingLocalBytes())
        session_bytes_.fetch_add(static_cast<int64_t>(bytes.size()), std::memory_order_relaxed);
      if (sink) sink(bytes, owner);
    };
    struct SinkReset {
      TFtpClient& client;
      ~SinkReset() { client.OnBytesCaptured = nullptr; }
    } reset{client_};
    try {
      client_.Download(remote, local_path, listed_size, resume);
    } catch (const std::exception&) {
      RethrowAsDownloadError();
    }
  }

  int64_t RangeRequestCost() const override { return kRangeRequestCost; }
  void DownloadRanges(const std::string& remote, const std::vector<ByteRange>& ranges, int64_t served_size,
                      const RangeSink& sink) override {
    if (ranges.empty()) return;
    RangesRun run{ranges, RangesBytes(ranges)};
    ranges_ = &run;
    struct RunReset {
      FtpTransport& transport;
      ~RunReset() {
        transport.last_ranges_bytes_ = transport.ranges_->done;
        transport.ranges_ = nullptr;
        transport.client_.OnBytesCaptured = nullptr;
      }
    } reset{*this};
    try {
      if (const std::optional<std::string> fault = RangesFault(ranges, served_size))
        throw EDownloadError(DownloadFailure::kRefused, "Cannot ask for " + *fault + " of " + remote);
      for (const RangeRequest& request : MergeRanges(ranges, kRangeRequestCost)) {
        SpanSplitter splitter(ranges, request, sink);
        run.span = &splitter;
        client_.OnBytesCaptured = [this, &splitter](std::string_view bytes, const std::shared_ptr<const void>& owner) {
          session_bytes_.fetch_add(static_cast<int64_t>(bytes.size()), std::memory_order_relaxed);
          (void)splitter.Take(bytes, owner);  // the byte past the span that ended the capture is not the range's
        };
        const ByteRange& span = request.span;
        client_.DownloadRange(remote, span.offset, span.length, span.offset + span.length == served_size);
        run.span = nullptr;
        run.done += splitter.WantedTaken();
        if (run.canceled) throw EAbortError("Download of " + remote + " cancelled");
      }
    } catch (const std::exception&) {
      events_.TransferFailed(TransferCommand::kDownload);
      RethrowAsDownloadError();
    }
    events_.TransferStopped();
  }

  std::optional<platform::FileIdentity> ReceivedFile() const override { return client_.ReceivedFile(); }
  int64_t BytesReceived() const override {
    if (!ranges_) return last_ranges_bytes_ ? *last_ranges_bytes_ : client_.BytesRecvd();
    const SpanSplitter* span = ranges_->span;
    return ranges_->done + (span ? WantedBytesWithin(ranges_->wanted, span->Request(), client_.BytesRecvd()) : 0);
  }
  int64_t BytesTotal() const override {
    if (ranges_) return ranges_->total;
    return last_ranges_bytes_ ? *last_ranges_bytes_ : client_.BytesTotal;
  }
  // During DownloadRanges it ends the range's capture too.
  void Cancel() override {
    client_.Cancel();
    if (!ranges_) return;
    ranges_->canceled = true;
    client_.Abort();
  }
  int64_t SessionBytesReceived() const override { return session_bytes_.load(std::memory_order_relaxed); }

 private:
  // The running DownloadRanges.
  struct RangesRun {
    const std::vector<ByteRange>& wanted;
    int64_t total;                       // the ranges' sum
    int64_t done = 0;                    // the wanted bytes of the spans fetched so far
    const SpanSplitter* span = nullptr;  // the span being fetched
    bool started = false;                // TransferStarted went out
    bool canceled = false;
  };

  TransportEvents& events_;
  TFtpClient client_;
  RangesRun* ranges_ = nullptr;
  // The wanted bytes of the last DownloadRanges, which BytesReceived and
  // BytesTotal report until the next transfer; nullopt after another one.
  std::optional<int64_t> last_ranges_bytes_;
  bool stop_reported_ = false;  // the running transfer's TransferStopped went out
  std::atomic<int64_t> session_bytes_{0};
};

}  // namespace

TransportFactory FtpTransportFactory() {
  return [](TransportEvents& events, const NetworkSettings& network) -> std::unique_ptr<Transport> {
    return std::make_unique<FtpTransport>(events, network);
  };
}
