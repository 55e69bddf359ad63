// The signals that ask the process to end before its work is done: SIGINT
// (Ctrl-C), SIGTERM (a shutdown, a service manager) and SIGHUP (the
// terminal or the session went away). While a StopSignalWatch lives they
// no longer end the process: each one is handed to the watch's callback on
// the user-interface thread's message loop, at its next dispatch (inside
// any wait of the program), never inside the signal handler, so the
// callback may do real work: stop a run, save, close.
#pragma once

#include <functional>
#include <vector>

namespace platform {

class StopSignalWatch {
 public:
  // Watches the three signals on the calling thread's loop (call it on the
  // user-interface thread); on_stop receives the signal's number, once per
  // arrival.
  explicit StopSignalWatch(std::function<void(int signal)> on_stop);
  // The signals end the process again once no watch is left.
  ~StopSignalWatch();
  StopSignalWatch(const StopSignalWatch&) = delete;
  StopSignalWatch& operator=(const StopSignalWatch&) = delete;

 private:
  static int Dispatch(void* entry);
  struct Entry {
    StopSignalWatch* watch;
    int signal;
  };
  std::function<void(int signal)> on_stop_;
  std::vector<Entry> entries_;  // sized once: the sources point into it
  std::vector<void*> sources_;
};

// "SIGINT", "SIGTERM", "SIGHUP"; "another signal" for any other.
const char* StopSignalName(int signal);

}  // namespace platform
