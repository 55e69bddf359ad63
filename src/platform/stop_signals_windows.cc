#include "platform/stop_signals.h"

#include <mutex>

#include "platform/event_loop.h"
#include "platform/windows_api.h"

namespace platform {

namespace {

// The numbers the interface reports, as on the other systems.
constexpr int kSigInt = 2;
constexpr int kSigTerm = 15;
constexpr int kSigHup = 1;

// The console's events, which Windows delivers on a thread of its own:
// each becomes its signal, posted to the watching thread's loop, and
// delivered there if the watch is still there.
struct Watcher {
  const StopSignalWatch* watch;
  MessageLoopRef loop;
  std::function<void(int signal)> deliver;
};

struct Watchers {
  std::mutex mutex;
  std::vector<Watcher> list;
};

Watchers& AllWatchers() {
  static Watchers watchers;
  return watchers;
}

int SignalOfConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return kSigInt;
    case CTRL_CLOSE_EVENT:
      return kSigHup;
    default:  // logoff, shutdown
      return kSigTerm;
  }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const int signal = SignalOfConsoleEvent(event);
  Watchers& watchers = AllWatchers();
  std::lock_guard<std::mutex> lock(watchers.mutex);
  for (const Watcher& watcher : watchers.list) {
    watcher.loop.Post([watch = watcher.watch, signal] {
      std::function<void(int)> deliver;
      {
        std::lock_guard<std::mutex> lock(AllWatchers().mutex);
        for (const Watcher& current : AllWatchers().list)
          if (current.watch == watch) deliver = current.deliver;
      }
      // The watch lives on this thread: nothing can end it before the call.
      if (deliver) deliver(signal);
    });
  }
  return watchers.list.empty() ? FALSE : TRUE;
}

}  // namespace

StopSignalWatch::StopSignalWatch(std::function<void(int signal)> on_stop) : on_stop_(std::move(on_stop)) {
  entries_ = {{this, kSigInt}, {this, kSigTerm}, {this, kSigHup}};
  auto deliver = [this](int signal) {
    for (Entry& entry : entries_)
      if (entry.signal == signal) Dispatch(&entry);
  };
  Watchers& watchers = AllWatchers();
  std::lock_guard<std::mutex> lock(watchers.mutex);
  if (watchers.list.empty()) SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
  watchers.list.push_back({this, MessageLoopRef::Current(), deliver});
}

StopSignalWatch::~StopSignalWatch() {
  Watchers& watchers = AllWatchers();
  std::lock_guard<std::mutex> lock(watchers.mutex);
  std::erase_if(watchers.list, [this](const Watcher& watcher) { return watcher.watch == this; });
  if (watchers.list.empty()) SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
}

int StopSignalWatch::Dispatch(void* entry) {
  const Entry& e = *static_cast<Entry*>(entry);
  // Copies: the callback may end the watch that holds them.
  const int signal = e.signal;
  const std::function<void(int)> on_stop = e.watch->on_stop_;
  on_stop(signal);
  return 0;
}

const char* StopSignalName(int signal) {
  switch (signal) {
    case kSigInt: return "SIGINT";
    case kSigTerm: return "SIGTERM";
    case kSigHup: return "SIGHUP";
    default: return "another signal";
  }
}

}  // namespace platform
