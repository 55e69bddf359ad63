// Life cycle, notifications, name lookup, connecting, listening and the
// timeout timer of TStreamSocket.
#include "ftp/stream_socket.h"

#include "platform/event_loop.h"
#include "platform/socket_errors.h"

namespace {

constexpr unsigned kAllEvents =
    platform::kFdRead | platform::kFdOob | platform::kFdAccept | platform::kFdConnect | platform::kFdClose;

}  // namespace

TStreamSocket::TStreamSocket() : buffer_(new char[kBufferSize + 4]) {
  ReportStatus(8, "Create");
  timer_.SetEnabled(false);
  timer_.SetOnTimer([this] { TimerTriggered(); });
  InitWinsock();
}

TStreamSocket::~TStreamSocket() {
  BeginDestruction([this] { TStreamSocket::Abort(); });
  timer_.SetEnabled(false);
  lookup_.Cancel();
  destroying_ = true;
  try {
    RequestCloseSocket();
  } catch (const std::exception&) {
    // A socket that will not close (or an OnError handler that failed on
    // it): a destructor has no one to tell, and the descriptor goes with
    // the object all the same.
  }
}

void TStreamSocket::BeginDestruction(const std::function<void()>& own_abort) {
  if (destruction_begun_) return;
  destruction_begun_ = true;
  ReportStatus(8, "Destroy");
  own_abort();
  Cancel();
}

void TStreamSocket::InitWinsock() {
  ReportStatus(8, "Initializing Winsock");
  if (!socket_.Open(true)) throw ESockError("Initializaton of windows sockets failed");
  SelectAll();
}

void TStreamSocket::SelectAll() {
  socket_.Select(kAllEvents, [this](unsigned event, int error) { HandleSocketMessage(event, error); });
}

void TStreamSocket::HandleSocketMessage(unsigned event, int error) {
  try {
    async_ok_ = error == 0;
    if (event == platform::kFdConnect) {
      connect_answered_ = true;
      if (async_ok_) {
        remote_ = socket_.Peer();  // the address that won the race
        connected_ = true;
        if (OnConnect) OnConnect();
      }
    } else if (event == platform::kFdClose) {
      close_error_ = error;
      // Unread data keep the connection: the reads find the end themselves
      // (DataAvailable acts on the close once they have).
      close_deferred_ = DataAvailable();
      if (!close_deferred_) RequestCloseSocket();
    } else if (event == platform::kFdAccept) {
      connected_ = true;
    }
  } catch (const ESockError&) {
    // The close failed or no fresh socket could be opened, on the message
    // loop where no caller could take it. Safe to drop: the error went to
    // OnError first where it has a number, the connection counts as
    // closed, and the next operation on this socket meets the failure
    // again and throws it to its own caller.
  }
}

void TStreamSocket::HandleLookupMessage(unsigned event, int error) {
  async_ok_ = error == 0;
  async_done_ = true;
  if (event == platform::kFdAccept) connected_ = true;
}

void TStreamSocket::ResolveHost() {
  ReportStatus(8, "Resolve Host");
  const std::string& name = Proxy.empty() ? Host : Proxy;
  remote_addresses_.clear();
  platform::IpAddress address;
  if (platform::ParseNumericAddress(name, address)) {
    if (!address.IsUnspecified()) remote_addresses_.push_back(address);
    return;
  }
  TimerOn();
  async_done_ = false;
  looked_up_.clear();
  lookup_.Start(name, [this](int error, std::vector<platform::IpAddress> addresses) {
    looked_up_ = std::move(addresses);
    if (error != 0) platform::SetLastSocketError(error);
    HandleLookupMessage(0, error);
  });
  while (!async_done_ && !TimeIsUp() && !canceled_) platform::WaitForEvent(2);
  TimerOff();
  lookup_.Cancel();
  if (timed_out_) throw ESockError("Host Lookup Timed Out");
  if (canceled_) throw ESockError("Host Lookup Canceled");
  if (!async_ok_) throw ESockError("Host Lookup Failed");
  for (const platform::IpAddress& candidate : looked_up_) {
    if (!candidate.IsUnspecified()) remote_addresses_.push_back(candidate);
  }
  if (OnHostResolved) OnHostResolved();
}

void TStreamSocket::Connect() {
  ReportStatus(8, "Connecting");
  canceled_ = false;
  if (connected_) throw ESockError("Already connected");
  for (int tries = 0;; ++tries) {
    try {
      ResolveHost();
    } catch (const ESockError& error) {
      std::string_view text = error.what();
      if (text == "Host Lookup Timed Out" || text == "Host Lookup Canceled") throw;
    }
    if (!remote_addresses_.empty()) break;
    bool handled = false;
    if (tries > 0 || !OnInvalidHost) throw ESockError("Null Remote Address");
    OnInvalidHost(handled);
    if (!handled) throw ESockError("Null Remote Address");
  }
  remote_ = {remote_addresses_.front(), static_cast<uint16_t>(Proxy.empty() ? Port : ProxyPort)};
  // A socket that has tried once is spent; each attempt gets a fresh one.
  if (connect_attempted_) OpenSocket(true);
  connect_attempted_ = true;
  async_done_ = false;
  async_ok_ = true;
  connect_answered_ = false;
  close_error_ = 0;
  close_deferred_ = false;
  if (!socket_.Connect(remote_addresses_, remote_.port)) {
    std::string text;
    CheckSocketError(0, text);
  }
  TimerOn();
  RestartStallClock();
  bool stalled = false;
  while (!connected_ && !connect_answered_ && !TimeIsUp() && !canceled_ && async_ok_) {
    stalled = Stalled();
    if (stalled) break;
    platform::WaitForEvent(2);
  }
  TimerOff();
  if (!stalled && !timed_out_ && !canceled_ && async_ok_) return;
  if (OnConnectionFailed) OnConnectionFailed();
  if (stalled) throw StallError(true);
  if (timed_out_) throw ESockError("Connection Timed out");
  if (canceled_) throw ESockError("Connection Canceled");
  throw ESockError("Connection Failed");
}

void TStreamSocket::OpenSocket(bool reset_on_close) {
  if (!socket_.Open(reset_on_close)) {
    std::string text;
    CheckSocketError(0, text);
    throw ESockError("Initializaton of windows sockets failed");
  }
  SelectAll();
}

void TStreamSocket::CheckConnection() {
  ReportStatus(8, "Checking Connection");
  if (!connected_) throw Exception("Not Connected");
}

void TStreamSocket::Listen(bool on_lookup_message, platform::AddressFamily family) {
  ReportStatus(8, "Listening");
  remote_ = {};
  remote_.address.family = family;
  remote_.port = static_cast<uint16_t>(Port);
  async_done_ = false;
  // As with the bind and listen calls of old, failures show up at Accept.
  (void)socket_.BindAndListen(family, remote_.port, 1);
  if (on_lookup_message) {
    socket_.Select(platform::kFdAccept, [this](unsigned event, int error) { HandleLookupMessage(event, error); });
  } else {
    socket_.Select(platform::kFdAccept, [this](unsigned event, int error) { HandleSocketMessage(event, error); });
  }
}

void TStreamSocket::Accept() {
  ReportStatus(4, "Accepting");
  RestartStallClock();
  while (!async_done_ && !canceled_) {
    ThrowIfStalled(true);
    platform::WaitForEvent(2);
  }
  if (canceled_) throw ESockError("Accepting Canceled");
  if (!async_ok_) throw ESockError("Error creating Data Connection");
  platform::SocketEndpoint peer;
  if (!socket_.AcceptInPlace(peer)) throw ESockError("Error creating Data Connection");
  remote_ = peer;
  connected_ = true;
  close_error_ = 0;
  close_deferred_ = false;
  SelectAll();
}

void TStreamSocket::RequestCloseSocket() {
  ReportStatus(4, "Request Close Socket");
  connected_ = false;
  close_deferred_ = false;
  if (!socket_.IsOpen()) return;
  if (!socket_.Close()) {
    std::string text;
    CheckSocketError(0, text);
    return;
  }
  if (destroying_) return;
  if (OnDisconnect) OnDisconnect();
  if (!ReopenAfterClose) return;
  OpenSocket(false);
  connect_attempted_ = false;
}

void TStreamSocket::Disconnect() {
  ReportStatus(8, "Disconnecting");
  RequestCloseSocket();
}

void TStreamSocket::Cancel() {
  ReportStatus(8, "Canceling");
  canceled_ = true;
}

void TStreamSocket::Abort() {
  ReportStatus(8, "Abort");
  Cancel();
}

void TStreamSocket::TimerOn() {
  ReportStatus(8, "Timer On");
  timed_out_ = false;
  timer_.SetInterval(TimeOut > 0 ? static_cast<unsigned>(TimeOut) : 0);
  timer_.SetEnabled(true);
}

void TStreamSocket::TimerOff() {
  ReportStatus(8, "Timer Off");
  timer_.SetEnabled(false);
}

void TStreamSocket::TimerTriggered() {
  ReportStatus(8, "Timer Triggered");
  TimerOff();
  timed_out_ = true;
  async_done_ = true;
  Abort();
}

void TStreamSocket::ReportStatus(int level, std::string_view text) {
  if (level > ReportLevel) return;
  status_text_ = text;
  if (destroying_ || !OnStatus) return;
  try {
    OnStatus(status_text_);
  } catch (const std::exception&) {
    // A status trace must never break the operation it describes (or a
    // notification or timer tick, which have no caller to take it).
  }
}
