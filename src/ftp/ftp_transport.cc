#include "ftp/ftp_transport.h"

#include <atomic>
#include <string_view>

#include "ftp/ftp_client.h"

namespace {

// TimeOut once logged in. The server line's TimeOut is meant for
// connecting; as a bound on a whole wait it would cut long transfers
// short. The client's StallTime bounds silence instead.
constexpr int kSessionTimeOut = 0;

class FtpTransport : public Transport {
 public:
  FtpTransport(TransportEvents& events, const NetworkSettings& network) {
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
      stop_reported_ = false;
      to->TransferStarted();
    };
    client_.OnDisconnect = [to] { to->Disconnected(); };
    // The client raises its stop when the data ends and again after the
    // final reply of a download; the seam's event ends a transfer once.
    client_.OnTransactionStop = [this, to] {
      if (stop_reported_) return;
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
  void ListNames() override { client_.Nlist(); }
  void Download(const std::string& remote, const std::string& local_path, int64_t listed_size,
                const ByteSink& sink, bool resume) override {
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
  std::optional<platform::FileIdentity> ReceivedFile() const override { return client_.ReceivedFile(); }
  int64_t BytesReceived() const override { return client_.BytesRecvd(); }
  int64_t BytesTotal() const override { return client_.BytesTotal; }
  void Cancel() override { client_.Cancel(); }
  int64_t SessionBytesReceived() const override { return session_bytes_.load(std::memory_order_relaxed); }

 private:
  TFtpClient client_;
  bool stop_reported_ = false;  // the running transfer's TransferStopped went out
  std::atomic<int64_t> session_bytes_{0};
};

}  // namespace

TransportFactory FtpTransportFactory() {
  return [](TransportEvents& events, const NetworkSettings& network) -> std::unique_ptr<Transport> {
    return std::make_unique<FtpTransport>(events, network);
  };
}
