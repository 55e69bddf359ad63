// Listening sockets on either loopback (127.0.0.1 or ::1) for connection
// tests: one that takes connections, and one that neither takes nor
// refuses them. Closed with the object.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace test_support {

// The address of port on ::1 (ipv6) or 127.0.0.1, and its length.
inline sockaddr_storage LoopbackSockaddr(bool ipv6, int port, socklen_t& length) {
  sockaddr_storage storage{};
  if (ipv6) {
    auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
    address->sin6_family = AF_INET6;
    address->sin6_addr = in6addr_loopback;
    address->sin6_port = htons(static_cast<uint16_t>(port));
    length = sizeof(sockaddr_in6);
  } else {
    auto* address = reinterpret_cast<sockaddr_in*>(&storage);
    address->sin_family = AF_INET;
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address->sin_port = htons(static_cast<uint16_t>(port));
    length = sizeof(sockaddr_in);
  }
  return storage;
}

// A blocking connection to port on ::1 (ipv6) or 127.0.0.1: the
// descriptor, or -1.
inline int ConnectToLoopback(bool ipv6, int port) {
  socklen_t length = 0;
  sockaddr_storage address = LoopbackSockaddr(ipv6, port, length);
  const int fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) return fd;
  close(fd);
  return -1;
}

class LoopbackListener {
 public:
  // On ::1 when ipv6, else 127.0.0.1, at `port` (0: a free one); `backlog`
  // connections may wait unaccepted.
  explicit LoopbackListener(bool ipv6, int port = 0, int backlog = 4) : ipv6_(ipv6) {
    socklen_t length = 0;
    sockaddr_storage address = LoopbackSockaddr(ipv6, port, length);
    fd_ = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd_, backlog) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("no loopback listener");
    }
    port_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                       : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  }
  ~LoopbackListener() { close(fd_); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  int port() const { return port_; }
  bool ipv6() const { return ipv6_; }
  // Takes one waiting connection (blocking): the descriptor, or -1.
  int Accept() const { return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); }

 private:
  bool ipv6_;
  int fd_ = -1;
  int port_ = 0;
};

// A port that takes no connection and refuses none: a listener whose
// one-place queue is kept full, so the system drops further connection
// requests and a connect waits as for a host that does not answer.
class UnansweredPort {
 public:
  explicit UnansweredPort(bool ipv6, int port = 0)
      : listener_(ipv6, port, 0), filler_(ConnectToLoopback(ipv6, listener_.port())) {
    if (filler_ < 0) throw std::runtime_error("cannot fill the listener's queue");
  }
  ~UnansweredPort() { close(filler_); }
  UnansweredPort(const UnansweredPort&) = delete;
  UnansweredPort& operator=(const UnansweredPort&) = delete;

  int port() const { return listener_.port(); }

 private:
  LoopbackListener listener_;
  int filler_;  // the one connection the queue holds, never accepted
};

}  // namespace test_support
