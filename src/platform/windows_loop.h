// The sockets' side of the Windows message loop (event_loop_windows.cc):
// a socket registered with the calling thread's loop is told, on that
// thread, which of the conditions it asks for hold. Internal to platform,
// Windows only.
#pragma once

#include <winsock2.h>

#include <functional>
#include <memory>

namespace platform {

// Reported when the peer closed or reset the connection (Winsock's
// FD_CLOSE), besides WSAPoll's own POLLHUP: a bit WSAPoll does not use.
inline constexpr short kPollPeerClosed = 0x4000;

struct LoopSocketEntry;

// One socket on the loop of the thread that made it. Level-triggered as
// poll is: `ready` runs at each dispatch while an asked condition (POLLIN,
// POLLOUT, kPollPeerClosed) holds, and for POLLHUP or POLLERR whenever any
// condition is asked. `ready` may change the conditions or destroy the
// watch.
class LoopSocketWatch {
 public:
  LoopSocketWatch(SOCKET socket, std::function<void(short revents)> ready);
  ~LoopSocketWatch();
  LoopSocketWatch(const LoopSocketWatch&) = delete;
  LoopSocketWatch& operator=(const LoopSocketWatch&) = delete;

  void SetConditions(short conditions);
  short Conditions() const;

 private:
  std::shared_ptr<LoopSocketEntry> entry_;
};

// Starts Winsock once for the process; every socket or lookup call comes
// after it.
void EnsureWinsock();

}  // namespace platform
