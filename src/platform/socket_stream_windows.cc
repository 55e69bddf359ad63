#include "platform/socket_stream.h"

#include <cstring>

#include "platform/socket_errors.h"
#include "platform/socket_internal.h"

namespace platform {

// The loop's watch of one socket, reaching the socket through its owner.
struct SocketWatchAccess {
  struct Watch {
    StreamSocket* owner;
    std::unique_ptr<LoopSocketWatch> loop;
  };

  static void Dispatch(Watch* watch, short revents) {
    if (watch->owner != nullptr && revents != 0)
      watch->owner->Dispatch(watch, static_cast<unsigned short>(revents));
  }
};

bool Fail() {
  SetLastSocketError(WSAGetLastError());
  return false;
}

int PendingSocketError(int fd) {
  int error = 0;
  int length = sizeof(error);
  if (getsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
    error = WSAGetLastError();
  return error;
}

bool CloseSocketDescriptor(int fd) { return closesocket(static_cast<SOCKET>(fd)) == 0; }

int StartConnecting(int fd, const SocketEndpoint& remote) {
  socklen_t length = 0;
  sockaddr_storage address = ToSockaddr(remote, length);
  if (connect(static_cast<SOCKET>(fd), reinterpret_cast<sockaddr*>(&address), length) == 0) return 0;
  const int error = WSAGetLastError();
  return error == WSAEWOULDBLOCK ? 0 : error;
}

// A socket's handle is kept in the interface's int: Windows hands out
// small handle values, far below INT_MAX.
int StreamSocket::OpenDescriptor(AddressFamily family) const {
  EnsureWinsock();
  const SOCKET socket = WSASocketW(family == AddressFamily::kIpv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP,
                                   nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) {
    Fail();
    return -1;
  }
  u_long non_blocking = 1;
  ioctlsocket(socket, FIONBIO, &non_blocking);
  if (reset_on_close_) {
    linger option{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option), sizeof(option));
  }
  return static_cast<int>(socket);
}

void StreamSocket::CloseDescriptor() {
  StopWatch();
  if (fd_ >= 0) closesocket(static_cast<SOCKET>(fd_));
  fd_ = -1;
  listening_ = connected_ = false;
}

bool StreamSocket::AcceptInPlace(SocketEndpoint& peer) {
  sockaddr_storage address{};
  int length = sizeof(address);
  const SOCKET socket = accept(static_cast<SOCKET>(fd_), reinterpret_cast<sockaddr*>(&address), &length);
  if (socket == INVALID_SOCKET) {
    Fail();
    Arm(kFdAccept);
    return false;
  }
  // The accepted socket took the listening one's event selection: its own
  // watch selects again.
  WSAEventSelect(socket, nullptr, 0);
  u_long non_blocking = 1;
  ioctlsocket(socket, FIONBIO, &non_blocking);
  Close();
  fd_ = static_cast<int>(socket);
  connected_ = true;
  peer_ = peer = FromSockaddr(address);
  return true;
}

long StreamSocket::Send(const void* data, size_t length) {
  const int sent = send(static_cast<SOCKET>(fd_), static_cast<const char*>(data),
                        static_cast<int>(length > INT_MAX ? INT_MAX : length), 0);
  if (sent == SOCKET_ERROR) {
    Fail();
    return -1;
  }
  return sent;
}

long StreamSocket::Receive(void* buffer, size_t capacity, bool peek) {
  if (fd_ < 0) {
    SetLastSocketError(kWsaENotConn);
    return -1;
  }
  const int received = recv(static_cast<SOCKET>(fd_), static_cast<char*>(buffer),
                            static_cast<int>(capacity > INT_MAX ? INT_MAX : capacity), peek ? MSG_PEEK : 0);
  if (received == SOCKET_ERROR) Fail();
  // At the end of the stream the socket stays readable for good; re-arming
  // then would wake every wait at once.
  if (received != 0 || capacity == 0) Arm(kFdRead);
  return received == SOCKET_ERROR ? -1 : received;
}

bool StreamSocket::LocalEndpoint(SocketEndpoint& local) const {
  sockaddr_storage address{};
  int length = sizeof(address);
  if (getsockname(static_cast<SOCKET>(fd_), reinterpret_cast<sockaddr*>(&address), &length) != 0) return Fail();
  local = FromSockaddr(address);
  return true;
}

void* StreamSocket::NewWatch(int fd) {
  auto* watch = new SocketWatchAccess::Watch{this, nullptr};
  watch->loop = std::make_unique<LoopSocketWatch>(
      static_cast<SOCKET>(fd), [watch](short revents) { SocketWatchAccess::Dispatch(watch, revents); });
  return watch;
}

void StreamSocket::SetWatchConditions(void* source, unsigned conditions) {
  static_cast<SocketWatchAccess::Watch*>(source)->loop->SetConditions(static_cast<short>(conditions));
}

void StreamSocket::DestroyWatch(void* source) {
  if (source == nullptr) return;
  auto* watch = static_cast<SocketWatchAccess::Watch*>(source);
  watch->owner = nullptr;
  delete watch;
}

// A watch that asks nothing is passed over by the loop already.
void StreamSocket::LeavePollSetIfIdle() {}

}  // namespace platform
