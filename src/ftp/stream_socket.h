// TStreamSocket: one TCP stream socket with blocking operations that keep
// the user interface alive. Every wait goes through platform::WaitForEvent,
// so message handlers, timer ticks and other events run inside any blocking
// call here (a handler may call Cancel or Abort to end the wait).
//
// A socket belongs to the thread that made it and waits on that thread's
// message loop: the user-interface thread, or a prefetching helper's thread
// with a loop of its own. It is never shared between threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/block_pool.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/interval_timer.h"
#include "platform/resolver.h"
#include "platform/socket_stream.h"
#include "transport/download_target.h"
#include "transport/rate_limiter.h"

// A socket operation failed; the message is the text a person reads
// ("10061:Connection refused", "Connection Timed out", ...).
class ESockError : public Exception {
 public:
  using Exception::Exception;
};

// A socket operation ended because Canceled was set; a socket error like any
// other to callers that catch ESockError.
class EAbortError : public ESockError {
 public:
  using ESockError::ESockError;
};

// A wait for the peer went without progress (no byte, no connection) for
// StallTime, or a transfer fell below MinRate; the message names the
// connection and what it waited for.
class EStallError : public ESockError {
 public:
  using ESockError::ESockError;
};

using TNotifyEvent = std::function<void()>;
using THandlerEvent = std::function<void(bool& Handled)>;
using TOnStatus = std::function<void(const std::string& Status)>;
using TOnErrorEvent = std::function<void(unsigned short Errno, const std::string& Errmsg)>;

class TStreamSocket {
 public:
  // Size of the receive buffer; no line read by ReadLn may be longer.
  static constexpr size_t kBufferSize = 65536;

  // Opens the socket. Throws ESockError "Initializaton of windows sockets
  // failed" when the system gives none.
  TStreamSocket();
  // Cancels what runs and closes the socket; OnDisconnect is not raised.
  virtual ~TStreamSocket();
  TStreamSocket(const TStreamSocket&) = delete;
  TStreamSocket& operator=(const TStreamSocket&) = delete;

  // Properties.
  std::string Host;       // numeric address (IPv4 dotted, IPv6 bare or in brackets) or host name
  int32_t Port = 0;       // low 16 bits used
  int32_t TimeOut = 0;    // ms for each armed wait; 0 = no limit
  int32_t ReportLevel = 0;  // status texts of this level or lower reach OnStatus
  std::string Proxy;      // when set, resolved and connected to instead of Host
  int32_t ProxyPort = 0;  // used instead of Port when Proxy is set
  int64_t BytesTotal = 0;  // set by the FTP transfers
  // The idle bound of the waits for the peer (connect, accept, reading):
  // ms a wait may go without a byte arriving or a connection being made
  // before it fails with EStallError; 0 = no bound. Unlike TimeOut it
  // restarts with every byte, so a stream that keeps flowing never trips it.
  int32_t StallTime = 0;
  std::string Role = "Connection";  // names this connection in EStallError texts
  // The floor under the average rate of a transfer that starts it
  // (StartRateFloor), in bytes per second; 0 = none. Measured over windows
  // of twice StallTime (no floor when StallTime is 0), leaving out the
  // time RateLimit holds the data back; never above half RateLimit's rate.
  int32_t MinRate = 0;
  // The cap CaptureFile reads within (null = none); see CaptureFile.
  std::shared_ptr<RateLimiter> RateLimit;
  // Whether a close opens a fresh socket for the next Connect. False for a
  // socket that serves one connection only (a transfer's data
  // connection): once closed, it receives nothing (kWsaENotConn).
  bool ReopenAfterClose = true;

  // Events; an empty one is skipped. OnConnect and OnDisconnect may be
  // raised by a notification on the message loop (the peer connected or
  // closed), where nothing could take an exception: their handlers must
  // not throw.
  TNotifyEvent OnConnect;          // the connect notification arrived without error
  TNotifyEvent OnDisconnect;       // RequestCloseSocket closed the socket
  THandlerEvent OnInvalidHost;     // the host did not resolve; Handled = retry once
  TNotifyEvent OnHostResolved;     // a name (not a dotted address) resolved
  TOnStatus OnStatus;              // an exception from it is dropped (see ReportStatus)
  TNotifyEvent OnConnectionFailed;  // Connect failed by timeout, cancel or error
  TOnErrorEvent OnError;           // a socket error is about to be thrown
  TNotifyEvent OnPacketRecvd;      // CaptureFile received a block

  // Resolves Host (or Proxy) and connects, pumping messages; a name with
  // several addresses has them tried as platform::StreamSocket::Connect
  // races them, the families interleaved. Throws
  // ESockError: "Already connected", "Host Lookup Timed Out", "Host Lookup
  // Canceled", "Null Remote Address" (no address even after OnInvalidHost),
  // and after OnConnectionFailed "Connection Timed out", "Connection
  // Canceled", "Connection Failed" or an EStallError; or a socket error text.
  virtual void Connect();
  // Closes the socket (RequestCloseSocket).
  virtual void Disconnect();
  // Sends command + CR LF and reads one reply line (with its line end) into
  // TransactionReply; ReplyNumber := its leading number, 0 when none.
  virtual std::string Transaction(const std::string& command);
  // Cancels the running operation (here: Cancel).
  virtual void Abort();
  // Waits for the connection announced to a socket that Listen()s, accepts
  // it and goes on as that connection (the listening socket is closed).
  // Pumps messages; no timer is armed, StallTime bounds the wait. Throws
  // ESockError "Accepting Canceled" (Canceled stays set), "Error creating
  // Data Connection", or EStallError.
  virtual void Accept();

  void Cancel();
  // Throws Exception "Not Connected" unless connected.
  void CheckConnection();
  // Sends `length` bytes (0: up to the first NUL), retrying at once while
  // the socket would block. EAbortError "Socket send aborted" when Canceled.
  void SendBuffer(const char* data, uint16_t length);
  void Write(const std::string& text);  // text up to its first NUL
  void Writeln(const std::string& text);
  // count 0: whatever is pending (maybe nothing) without waiting; count > 0:
  // waits for exactly count bytes, "" when the peer closed first.
  // EAbortError "Socket send aborted" when Canceled; EStallError.
  std::string Read(uint16_t count);
  // One line with its line end, consuming nothing beyond the LF, so later
  // lines stay in the socket. "" when the peer closed before any byte;
  // an unfinished last line when it closed mid-line. Pumps messages.
  // Throws EAbortError "Socket readln aborted" when Canceled, ESockError
  // "Connection Timed out" when TimeOut (or the deadline of a run of
  // waits) passes without a whole line, EStallError (silence, a reply past
  // its deadline, a rate below MinRate), and ESockError when no LF comes
  // within kBufferSize bytes (the line is too long).
  std::string ReadLn();
  // Receives everything that arrives into `target` until the peer closes;
  // by the time it returns all of it is in the file (and the target's sink
  // has heard it, in pieces of up to a megabyte, each after the
  // OnPacketRecvd of its blocks). Raises OnPacketRecvd after each block
  // received (up to 256 KiB); BytesRecvd() counts the bytes (this
  // capture's only). Pumps messages. Returns false as soon as more have
  // arrived than the target's bound: exactly one byte past it is then
  // received and written, the rest is left unread and the connection open.
  // True when the peer closed. Throws EInOutError when writing fails,
  // EAbortError "Socket send aborted" when Canceled, EStallError; and
  // after OnError the socket error of a connection that ended by a reset
  // rather than an orderly close.
  // With a RateLimit, each block is read only once the limiter grants it;
  // meanwhile the socket is left unread (the sender slows down), messages
  // are pumped, and the wait does not count towards StallTime.
  [[nodiscard]] bool CaptureFile(DownloadTarget& target);
  // The file the last CaptureFile opened and wrote into; nullopt before one.
  const std::optional<platform::FileIdentity>& CapturedFile() const { return captured_file_; }
  // Binds to the any-address of `family` (0.0.0.0 or ::) and Port (0 =
  // any), and listens for one connection; its arrival sets AsyncDone (and
  // Connected when on_lookup_message).
  void Listen(bool on_lookup_message, platform::AddressFamily family = platform::AddressFamily::kIpv4);
  // True when at least one byte is pending. Finding the end of a stream
  // whose close was put off while data remained closes the socket as the
  // close notification would have (Connected() turns false).
  bool DataAvailable();
  void ClearInput();  // drops one block of pending input
  // Resolves Proxy or Host into the remote addresses, pumping messages.
  void ResolveHost();
  // Closes the socket, raises OnDisconnect (not while destroying) and,
  // with ReopenAfterClose, opens a fresh one for the next Connect.
  void RequestCloseSocket();
  // "10061:Connection refused"; "" for 0; "Unknown Error No. <n>".
  std::string ErrorMessage(uint16_t error_number);
  // Reads the last socket error into LastErrorNo; unless it is `ignored`
  // or not above 10000, raises OnError and throws ESockError(text).
  void CheckSocketError(int ignored, std::string& text);
  // The local IPv4 address of the socket as "127,0,0,1".
  std::string LocalAddressForPort();
  // The local port as ",high,low".
  std::string PortSuffix();
  // The local address ("127.0.0.1", "::1") and port of the socket.
  std::string LocalAddress();
  uint16_t LocalPort();
  // The numeric address of the peer ("127.0.0.1", "::1"): the one Connect
  // reached (the proxy when there is one), or the one Accept took.
  std::string PeerAddress() const;
  // Whether that peer is an IPv6 one.
  bool PeerIsIpv6() const { return remote_.address.IsIpv6(); }

  // For wait loops built on this socket: RestartStallClock when the wait
  // begins and whenever it makes progress; ThrowIfStalled on each idle pass
  // throws EStallError once StallTime has passed since, with the text
  // "<Role> timed out: nothing received for <n> s" (or "no connection
  // within <n> s" when awaiting a connection).
  void RestartStallClock();
  void ThrowIfStalled(bool awaiting_connection) const;
  // Starts measuring the bytes that CaptureFile and ReadLn receive against
  // MinRate, the first window from now. ThrowIfTooSlow, on each idle pass,
  // throws EStallError once a window has passed with fewer bytes than the
  // floor asks for: "<Role> too slow: <n> bytes in <w> s, below
  // MINRATE=<floor>"; then the next window starts.
  void StartRateFloor();
  void ThrowIfTooSlow();

  // Reports text through OnStatus when level <= ReportLevel. A status
  // trace never breaks the operation it describes: an std::exception from
  // OnStatus is dropped.
  void ReportStatus(int level, std::string_view text);

  bool Canceled() const { return canceled_; }
  bool TimedOut() const { return timed_out_; }
  bool Connected() const { return connected_; }
  bool AsyncDone() const { return async_done_; }
  bool AsyncOK() const { return async_ok_; }
  int LastErrorNo() const { return last_error_no_; }
  const std::string& TransactionReply() const { return transaction_reply_; }
  int16_t ReplyNumber() const { return reply_number_; }
  int64_t BytesRecvd() const { return bytes_recvd_; }
  const std::string& StatusText() const { return status_text_; }

 protected:
  bool Reporting(int level) const { return level <= ReportLevel; }
  // Arms the TimeOut timer (TimerOn) for its lifetime and disarms it
  // (TimerOff) on every way out.
  class ArmedTimer {
   public:
    explicit ArmedTimer(TStreamSocket& socket) : socket_(socket) { socket_.TimerOn(); }
    ~ArmedTimer() { socket_.TimerOff(); }
    ArmedTimer(const ArmedTimer&) = delete;
    ArmedTimer& operator=(const ArmedTimer&) = delete;

   private:
    TStreamSocket& socket_;
  };
  void TimerOn();
  void TimerOff();
  // The TimeOut tick, on the message loop: ends the armed wait by Abort.
  // Throws nothing (the overrides of Abort only cancel).
  void TimerTriggered();
  // The first steps of destruction: report "Destroy", run `own_abort` (the
  // object's own Abort, which a base destructor cannot reach), Cancel. A
  // derived destructor runs them with its override; they run only once.
  void BeginDestruction(const std::function<void()>& own_abort);
  bool Stalled() const;
  EStallError StallError(bool awaiting_connection) const;
  // Waits (pumping messages) up to `wait` for the rate limiter, keeping
  // the time out of the stall clock.
  void WaitForRateLimit(std::chrono::microseconds wait);

  bool canceled_ = false;
  bool timed_out_ = false;
  bool connected_ = false;
  bool async_done_ = false;
  bool async_ok_ = false;
  bool destroying_ = false;
  bool destruction_begun_ = false;
  int last_error_no_ = 0;
  std::string transaction_reply_;
  int16_t reply_number_ = 0;
  int64_t bytes_recvd_ = 0;
  std::optional<platform::FileIdentity> captured_file_;
  // Set while StallTime must not apply (the login, which TimeOut bounds).
  bool stall_suspended_ = false;
  // When set, the waits of lookup, connect and ReadLn end at this time as
  // if TimeOut had passed (TimedOut turns true): one bound on a run of
  // waits, each of which re-arms the timer.
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  // When set, ReadLn throws EStallError "<Role> timed out: no whole reply
  // within <StallTime>" at this time (ThrowIfReplyLate), once reply_heard_:
  // ReadLn has taken a byte since whoever set the deadline cleared it.
  std::optional<std::chrono::steady_clock::time_point> reply_deadline_;
  bool reply_heard_ = false;
  void ThrowIfReplyLate() const;
  // TimedOut, or deadline_ has passed (which sets TimedOut).
  bool TimeIsUp();

 private:
  void InitWinsock();
  void OpenSocket(bool reset_on_close);
  void SelectAll();
  void HandleSocketMessage(unsigned event, int error);
  void HandleLookupMessage(unsigned event, int error);
  // The socket's own address; a failure goes through CheckSocketError
  // (which throws a socket error above 10000; otherwise all zeros).
  platform::SocketEndpoint LocalEndpoint();
  // Receives into the buffer; on failure reads the error into LastErrorNo.
  long ReceiveIntoBuffer(size_t capacity, bool peek);

  platform::StreamSocket socket_;
  platform::HostLookup lookup_;
  platform::SocketEndpoint remote_;
  // What ResolveHost found, in the order to try them; none when the host
  // did not resolve.
  std::vector<platform::IpAddress> remote_addresses_;
  std::vector<platform::IpAddress> looked_up_;  // the answer of the running lookup
  bool connect_attempted_ = false;
  // The connect notification came; the connection may be closed again by
  // the time the waiting Connect looks, so Connected alone cannot tell.
  bool connect_answered_ = false;
  // The error the peer's close came with (a reset): reading it from the
  // system clears it there, so a capture learns of it here.
  int close_error_ = 0;
  // The peer's close came while data were unread, so it was not acted on.
  bool close_deferred_ = false;
  // Ticks once TimeOut has passed in an armed wait; its settings re-apply
  // only when they change, so re-arming keeps a running countdown.
  platform::IntervalTimer timer_;
  std::chrono::steady_clock::time_point stall_clock_start_;
  // The MinRate window being measured (see StartRateFloor).
  struct RateFloorWindow {
    bool active = false;
    std::chrono::steady_clock::time_point start;
    int64_t bytes = 0;
  };
  RateFloorWindow floor_;
  std::unique_ptr<char[]> buffer_;  // kBufferSize + 4 bytes, not zeroed
  std::string status_text_;
};
