// A non-blocking IPv4 TCP socket whose readiness arrives as WinSock-style
// notifications on the message loop (event_loop.h) of the thread that opened it. This is the only
// place in the program that touches a raw socket.
//
// Notifications work like WSAAsyncSelect: each selected event is delivered
// once and stays quiet until the call that re-enables it (Receive re-enables
// kFdRead, Accept re-enables kFdAccept); kFdConnect and kFdClose come once
// per connection. A socket nobody reads therefore never keeps the loop busy,
// while a waiter that has just found nothing to read is woken the moment
// data arrive.
//
// A socket is used only on the thread that opened it: the user-interface
// thread, or a worker with a ThreadMessageLoop (a prefetching helper).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// Event bits, numbered as WinSock numbers them.
enum SocketEvent : unsigned {
  kFdRead = 0x01,
  kFdWrite = 0x02,
  kFdOob = 0x04,
  kFdAccept = 0x08,
  kFdConnect = 0x10,
  kFdClose = 0x20,
};

// An IPv4 address and port, both in host byte order.
struct Ipv4Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
};

class StreamSocket {
 public:
  // Called from the message loop with one event bit and the WinSock error
  // that came with it (0 when none). It may close or destroy the socket.
  using Notify = std::function<void(unsigned event, int error)>;

  StreamSocket() = default;
  ~StreamSocket();
  StreamSocket(const StreamSocket&) = delete;
  StreamSocket& operator=(const StreamSocket&) = delete;

  // Opens a fresh non-blocking socket, closing any previous one. With
  // reset_on_close the socket lingers 0 s, so closing it resets the
  // connection at once. False with LastSocketError() on failure.
  [[nodiscard]] bool Open(bool reset_on_close);
  bool IsOpen() const { return fd_ >= 0; }

  // Closes the socket; no notification arrives afterwards. False with
  // LastSocketError() when the system refused (the socket is gone anyway).
  bool Close();

  // Selects the events `notify` receives from now on, all enabled.
  void Select(unsigned events, Notify notify);

  // Starts connecting. True when connected at once; otherwise false with
  // LastSocketError(): kWsaEWouldBlock while in progress, another number
  // when the attempt failed outright. Unless it failed outright, kFdConnect
  // follows on the loop (also after an immediate success).
  bool Connect(Ipv4Endpoint remote);

  // Binds to 0.0.0.0:port (0 lets the system choose) and listens.
  // False with LastSocketError() on failure.
  bool BindAndListen(uint16_t port, int backlog);

  // Takes one pending connection of this listening socket, closes the
  // listening descriptor and goes on as the accepted connection, with no
  // events selected. False with LastSocketError() when none is pending or
  // accepting failed; the socket then still listens, kFdAccept re-enabled.
  bool AcceptInPlace(Ipv4Endpoint& peer);

  // Sends what the socket takes now: the count sent, or -1 with
  // LastSocketError() (kWsaEWouldBlock when the send buffer is full).
  long Send(const void* data, size_t length);

  // Receives (or with peek, looks at) up to capacity bytes: the count, 0
  // when the peer has closed, -1 with LastSocketError() (kWsaEWouldBlock
  // when nothing is pending; kWsaENotConn on a closed socket, as on one
  // never connected). Re-enables kFdRead, except at the end of the
  // stream, after which no kFdRead ever comes.
  long Receive(void* buffer, size_t capacity, bool peek);

  // The local address and port of the socket. False with LastSocketError().
  bool LocalEndpoint(Ipv4Endpoint& local) const;

 private:
  friend struct SocketWatchAccess;
  void Dispatch(unsigned revents);
  void UpdateWatch();
  // Takes a socket with nothing to notify out of the poll set.
  void LeavePollSetIfIdle();
  void Arm(unsigned event);
  void StopWatch();

  int fd_ = -1;
  bool listening_ = false;
  bool connecting_ = false;
  bool connected_ = false;
  unsigned selected_ = 0;
  unsigned armed_ = 0;  // selected events not yet delivered since re-enabled
  unsigned watched_conditions_ = 0;
  Notify notify_;
  void* source_ = nullptr;  // the GSource watching fd_
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform
