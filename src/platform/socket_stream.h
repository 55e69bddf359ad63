// A non-blocking TCP socket (IPv4 or IPv6) whose readiness arrives as
// WinSock-style notifications on the message loop (event_loop.h) of the
// thread that opened it. This and socket_connect.cc are the only places in
// the program that touch a raw socket.
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
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ip_address.h"

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

class StreamSocket {
 public:
  // Called from the message loop with one event bit and the WinSock error
  // that came with it (0 when none). It may close or destroy the socket.
  using Notify = std::function<void(unsigned event, int error)>;

  StreamSocket();
  ~StreamSocket();
  StreamSocket(const StreamSocket&) = delete;
  StreamSocket& operator=(const StreamSocket&) = delete;

  // Opens a fresh non-blocking IPv4 socket, closing any previous one. With
  // reset_on_close the socket lingers 0 s, so closing it resets the
  // connection at once (as do the sockets Connect and BindAndListen open
  // in its place). False with LastSocketError() on failure.
  [[nodiscard]] bool Open(bool reset_on_close);
  bool IsOpen() const { return fd_ >= 0 || race_ != nullptr; }

  // Closes the socket; no notification arrives afterwards. False with
  // LastSocketError() when the system refused (the socket is gone anyway).
  bool Close();

  // Selects the events `notify` receives from now on, all enabled.
  void Select(unsigned events, Notify notify);

  // How long an attempt to connect has the field to itself before the
  // next address gets one too.
  static constexpr std::chrono::milliseconds kConnectHeadStart{250};

  // Starts connecting to `port` at the addresses, in their order, each on
  // a socket of its family in place of the open one. The next address gets
  // its attempt once the one before has failed, or has gone unanswered for
  // kConnectHeadStart; the first connection made wins and the other
  // attempts are dropped. True while under way: one kFdConnect follows on
  // the loop (also when connected at once), with the error of the last
  // attempt to fail when none connected. False with LastSocketError() when
  // every attempt failed outright; no kFdConnect comes then.
  bool Connect(const std::vector<IpAddress>& addresses, uint16_t port);
  bool Connect(SocketEndpoint remote) { return Connect(std::vector<IpAddress>{remote.address}, remote.port); }

  // Binds a socket of `family` to its any-address and port (0 lets the
  // system choose), in place of the open one, and listens. False with
  // LastSocketError() on failure.
  bool BindAndListen(AddressFamily family, uint16_t port, int backlog);

  // Takes one pending connection of this listening socket, closes the
  // listening descriptor and goes on as the accepted connection, with no
  // events selected. False with LastSocketError() when none is pending or
  // accepting failed; the socket then still listens, kFdAccept re-enabled.
  bool AcceptInPlace(SocketEndpoint& peer);

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
  bool LocalEndpoint(SocketEndpoint& local) const;
  // The peer of the connection Connect made or AcceptInPlace took.
  const SocketEndpoint& Peer() const { return peer_; }

 private:
  friend struct SocketWatchAccess;
  struct ConnectRace;
  // Opens a socket of `family` with this socket's linger option: the
  // descriptor, or -1 with LastSocketError().
  int OpenDescriptor(AddressFamily family) const;
  // Closes the descriptor (and its watch), keeping the selection.
  void CloseDescriptor();
  // Starts attempts for the next addresses of the race until one is under
  // way or none is left; false when none is under way.
  bool StartNextAttempt();
  // The socket of the attempt that `watch` watches turned writable or failed.
  void AttemptAnswered(void* watch);
  // The head start of the newest attempt has passed.
  void HeadStartPassed();
  // Ends the race with `fd` as the socket (-1 when there is none): connected
  // when error is 0. Notifies kFdConnect when `notify`.
  void EndRace(int fd, int error, bool notify);
  // Readiness that `source` found: the watch of this socket, or of one of
  // the attempts of a race.
  void Dispatch(void* source, unsigned revents);
  // A watch (GSource) of fd for this socket, asking nothing yet.
  void* NewWatch(int fd);
  // Sets what the watch asks for, in place (which wakes nobody).
  static void SetWatchConditions(void* source, unsigned conditions);
  static void DestroyWatch(void* source);
  void UpdateWatch();
  // Takes a socket with nothing to notify out of the poll set.
  void LeavePollSetIfIdle();
  void Arm(unsigned event);
  void StopWatch();

  int fd_ = -1;
  bool listening_ = false;
  bool connected_ = false;
  bool reset_on_close_ = false;
  std::unique_ptr<ConnectRace> race_;  // while connecting
  SocketEndpoint peer_;
  unsigned selected_ = 0;
  unsigned armed_ = 0;  // selected events not yet delivered since re-enabled
  unsigned watched_conditions_ = 0;
  Notify notify_;
  void* source_ = nullptr;  // the GSource watching fd_
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform
