// What socket_stream.cc and socket_connect.cc share: address conversion,
// error capture and the state of a race of connection attempts.
#pragma once

#include <sys/socket.h>

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
