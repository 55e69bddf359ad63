#include "platform/socket_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <glib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket_errors.h"
#include "platform/socket_internal.h"

namespace platform {

// The GSource that watches one socket; it reaches the socket through this.
// The conditions of its poll record are changed in place, which (unlike
// GLib's unix-fd calls) wakes nobody: the next iteration of the loop simply
// polls the new conditions. Each source watches one descriptor for life.
struct SocketWatchAccess {
  struct Source {
    GSource base;
    StreamSocket* owner;
    GPollFD poll;
    bool polled;  // the poll record is part of the loop's poll set
  };

  static gboolean Check(GSource* source) {
    auto* watch = reinterpret_cast<Source*>(source);
    return watch->polled && watch->poll.revents != 0;
  }

  static gboolean Dispatch(GSource* source, GSourceFunc, gpointer) {
    auto* watch = reinterpret_cast<Source*>(source);
    unsigned revents = watch->poll.revents;
    watch->poll.revents = 0;
    if (watch->owner != nullptr && revents != 0) watch->owner->Dispatch(source, revents);
    return G_SOURCE_CONTINUE;
  }

  static GSourceFuncs funcs;
};

GSourceFuncs SocketWatchAccess::funcs = {nullptr, &SocketWatchAccess::Check, &SocketWatchAccess::Dispatch,
                                         nullptr, nullptr, nullptr};

bool Fail() {
  SetLastSocketError(WinSockErrorFromErrno(errno));
  return false;
}

int PendingSocketError(int fd) {
  int error = 0;
  socklen_t length = sizeof(error);
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  return WinSockErrorFromErrno(error);
}

bool CloseSocketDescriptor(int fd) { return close(fd) == 0; }

int StartConnecting(int fd, const SocketEndpoint& remote) {
  socklen_t length = 0;
  sockaddr_storage address = ToSockaddr(remote, length);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 || errno == EINPROGRESS) return 0;
  return WinSockErrorFromErrno(errno);
}

int StreamSocket::OpenDescriptor(AddressFamily family) const {
  int fd = socket(family == AddressFamily::kIpv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC,
                  IPPROTO_TCP);
  if (fd < 0) {
    Fail();
    return -1;
  }
  if (reset_on_close_) {
    linger option{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof(option));
  }
  return fd;
}

void StreamSocket::CloseDescriptor() {
  StopWatch();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  listening_ = connected_ = false;
}

bool StreamSocket::AcceptInPlace(SocketEndpoint& peer) {
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  int fd = accept4(fd_, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    Fail();
    Arm(kFdAccept);
    return false;
  }
  Close();
  fd_ = fd;
  connected_ = true;
  peer_ = peer = FromSockaddr(address);
  return true;
}

long StreamSocket::Send(const void* data, size_t length) {
  ssize_t sent = send(fd_, data, length, MSG_NOSIGNAL);
  if (sent < 0) Fail();
  return sent;
}

long StreamSocket::Receive(void* buffer, size_t capacity, bool peek) {
  if (fd_ < 0) {
    SetLastSocketError(kWsaENotConn);
    return -1;
  }
  ssize_t received = recv(fd_, buffer, capacity, peek ? MSG_PEEK : 0);
  if (received < 0) Fail();
  // At the end of the stream the socket stays readable for good; re-arming
  // then would wake every wait at once.
  if (received != 0 || capacity == 0) Arm(kFdRead);
  return received;
}

bool StreamSocket::LocalEndpoint(SocketEndpoint& local) const {
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return Fail();
  local = FromSockaddr(address);
  return true;
}

void* StreamSocket::NewWatch(int fd) {
  GSource* source = g_source_new(&SocketWatchAccess::funcs, sizeof(SocketWatchAccess::Source));
  auto* watch = reinterpret_cast<SocketWatchAccess::Source*>(source);
  watch->owner = this;
  watch->poll = GPollFD{fd, 0, 0};
  watch->polled = false;
  // GLib takes a source that may not recurse out of the poll set while it
  // dispatches and puts it back after, waking the loop both times: two
  // wake-ups for every notification. A nested dispatch is harmless here,
  // since each event is disarmed before it is delivered.
  g_source_set_can_recurse(source, TRUE);
  g_source_attach(source, g_main_context_get_thread_default());  // the default when none
  return source;
}

void StreamSocket::SetWatchConditions(void* source, unsigned conditions) {
  auto* watch = static_cast<SocketWatchAccess::Source*>(source);
  watch->poll.events = static_cast<gushort>(conditions);
  watch->poll.revents = 0;
  // A socket with nothing to notify stays in the poll set, asking for
  // nothing: taking it out and putting it back would wake the loop each
  // time. Hang-up and error conditions are reported whatever is asked;
  // should one come meanwhile, Dispatch takes the socket out then.
  if (conditions != 0 && !watch->polled) {
    g_source_add_poll(&watch->base, &watch->poll);
    watch->polled = true;
  }
}

void StreamSocket::DestroyWatch(void* source) {
  if (source == nullptr) return;
  auto* watch = static_cast<SocketWatchAccess::Source*>(source);
  watch->owner = nullptr;
  g_source_destroy(&watch->base);
  g_source_unref(&watch->base);
}

void StreamSocket::LeavePollSetIfIdle() {
  auto* watch = static_cast<SocketWatchAccess::Source*>(source_);
  if (watch == nullptr || watched_conditions_ != 0 || !watch->polled) return;
  g_source_remove_poll(&watch->base, &watch->poll);
  watch->polled = false;
}

}  // namespace platform
