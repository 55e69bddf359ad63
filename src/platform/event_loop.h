// The message loop of each thread: on the user-interface thread the GLib
// default main context, which the GTK front-end shares; on a worker thread
// that holds a ThreadMessageLoop, a context of its own. Every wait in the
// program goes through WaitForEvent, so a socket that becomes ready or a
// posted message wakes the waiter at once, and an idle wait costs no CPU.
//
// Everything here works on the calling thread's loop: timers, watches and
// waits made on a worker stay on that worker, so the components built for
// the user-interface thread (the FTP client) run on a worker unchanged.
// Only MessageLoopRef::Post crosses threads.
#pragma once

#include <functional>
#include <memory>

namespace platform {

// The message loop of one thread, to post to from any thread.
class MessageLoopRef {
 public:
  // The calling thread's loop.
  static MessageLoopRef Current();
  // Runs `message` on that loop's thread at its next dispatch, once; wakes
  // a wait there. A loop that is gone by then drops it.
  void Post(std::function<void()> message) const;

 private:
  std::shared_ptr<void> context_;
};

// Gives the constructing thread (a worker) a message loop of its own for
// its lifetime. Destroy it on the same thread, after everything that uses
// the loop there.
class ThreadMessageLoop {
 public:
  ThreadMessageLoop();
  ~ThreadMessageLoop();
  ThreadMessageLoop(const ThreadMessageLoop&) = delete;
  ThreadMessageLoop& operator=(const ThreadMessageLoop&) = delete;

 private:
  void* context_;
};

// Dispatches every event that is ready now (timers due, socket
// notifications, posted messages) and returns without blocking.
// Re-entrant: handlers it runs may call it again.
void ProcessMessages();

// Blocks until some event source is ready or max_ms milliseconds have
// passed, then dispatches what is ready. This is the "wait at most 2 ms and
// pump" of every blocking operation.
void WaitForEvent(int max_ms = 2);

// Runs `message` on the calling thread's loop at the next dispatch, once.
// Safe to call from inside handlers.
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
  bool Running() const { return source_ != nullptr; }

 private:
  static int Dispatch(void* self);
  void* source_ = nullptr;
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
  bool Running() const { return source_ != nullptr; }

 private:
  static int Dispatch(int fd, unsigned condition, void* self);
  void* source_ = nullptr;
  int fd_ = -1;
  std::function<void(FdReadiness)> ready_;
};

}  // namespace platform
