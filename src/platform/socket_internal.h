// What the socket files share, across the systems' twins: address
// conversion, error capture, the calls that differ by system, and the
// state of a race of connection attempts.
#pragma once

#include "platform/socket_headers.h"

#include <memory>
#include <vector>

#include "platform/interval_timer.h"
#include "platform/socket_stream.h"

namespace platform {

// Sets LastSocketError() from errno; false, for `return Fail();`.
bool Fail();
// The WinSock number of the error pending on fd (0 when none).
int PendingSocketError(int fd);
// The sockaddr of an endpoint; its length comes back in `length`.
sockaddr_storage ToSockaddr(const SocketEndpoint& endpoint, socklen_t& length);
SocketEndpoint FromSockaddr(const sockaddr_storage& address);
// An IPv4 address in any form the system's classic parser takes
// ("127.0.0.1", "127.1", "0x7f.1"), as a host-order number.
bool ParseIpv4Text(const std::string& text, uint32_t& host_order);
// Closes a socket's descriptor; false with errno or WSAGetLastError set.
bool CloseSocketDescriptor(int fd);
// Starts connecting the non-blocking socket fd to remote: 0 when the
// attempt is under way (or already connected), else its WinSock number.
int StartConnecting(int fd, const SocketEndpoint& remote);

struct StreamSocket::ConnectRace {
  struct Attempt {
    int fd;
    SocketEndpoint remote;
    void* watch;  // the attempt's own watch; the winner's becomes the socket's
  };
  std::vector<SocketEndpoint> addresses;  // in the order to try them
  size_t next = 0;                        // the first address not yet tried
  std::vector<Attempt> running;
  IntervalTimer head_start;
  int last_error = 0;
  int failed_fd = -1;  // the last failed attempt's socket, the one kept when all fail

  ~ConnectRace();
};

}  // namespace platform
