// The one message loop of the process: the GLib default main context, which
// the GTK front-end shares. Every wait in the program goes through
// WaitForEvent, so a socket that becomes ready or a posted message wakes
// the waiter at once, and an idle wait costs no CPU.
//
// Everything here runs on the user-interface thread only.
#pragma once

#include <functional>

namespace platform {

// Dispatches every event that is ready now (timers due, socket
// notifications, posted messages) and returns without blocking.
// Re-entrant: handlers it runs may call it again.
void ProcessMessages();

// Blocks until some event source is ready or max_ms milliseconds have
// passed, then dispatches what is ready. This is the "wait at most 2 ms and
// pump" of every blocking operation.
void WaitForEvent(int max_ms = 2);

// Runs `message` on the loop at the next dispatch, once. Safe to call from
// inside handlers.
void PostMessage(std::function<void()> message);

// A repeating timer on the message loop. Not copyable; stopping or
// destroying it guarantees the callback will not run again.
class Timer {
 public:
  Timer() = default;
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // (Re)starts the timer: `tick` runs every interval_ms milliseconds from
  // now on. A running timer is stopped first.
  void Start(unsigned interval_ms, std::function<void()> tick);
  void Stop();
  bool Running() const { return source_id_ != 0; }

 private:
  static int Dispatch(void* self);
  unsigned source_id_ = 0;
  std::function<void()> tick_;
};

// Readiness of a file descriptor, as reported to an FdWatch.
struct FdReadiness {
  bool readable = false;
  bool writable = false;
  bool hangup = false;  // peer closed or error condition on the descriptor
};

// Watches a descriptor on the message loop and calls back while the asked
// conditions hold (level-triggered, like poll). The callback may change the
// watched conditions or stop the watch.
class FdWatch {
 public:
  FdWatch() = default;
  ~FdWatch();
  FdWatch(const FdWatch&) = delete;
  FdWatch& operator=(const FdWatch&) = delete;

  void Start(int fd, bool want_read, bool want_write,
             std::function<void(FdReadiness)> ready);
  // Changes the conditions of a running watch.
  void Update(bool want_read, bool want_write);
  void Stop();
  bool Running() const { return source_id_ != 0; }

 private:
  static int Dispatch(int fd, unsigned condition, void* self);
  unsigned source_id_ = 0;
  int fd_ = -1;
  std::function<void(FdReadiness)> ready_;
};

}  // namespace platform
