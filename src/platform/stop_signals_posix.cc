#include "platform/stop_signals.h"

#include <glib-unix.h>
#include <glib.h>
#include <signal.h>

#include <string>

namespace platform {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

GMainContext* ThreadContext() {
  GMainContext* context = g_main_context_get_thread_default();
  return context != nullptr ? context : g_main_context_default();
}

}  // namespace

StopSignalWatch::StopSignalWatch(std::function<void(int signal)> on_stop) : on_stop_(std::move(on_stop)) {
  entries_.reserve(std::size(kStopSignals));
  for (const int signal : kStopSignals) {
    entries_.push_back({this, signal});
    // GLib's handler only notes the arrival and wakes the loop; the
    // source's dispatch, on this thread, runs the callback.
    GSource* source = g_unix_signal_source_new(signal);
    g_source_set_callback(source, reinterpret_cast<GSourceFunc>(&StopSignalWatch::Dispatch), &entries_.back(),
                          nullptr);
    g_source_attach(source, ThreadContext());
    sources_.push_back(source);
  }
}

StopSignalWatch::~StopSignalWatch() {
  for (void* source : sources_) {
    g_source_destroy(static_cast<GSource*>(source));
    g_source_unref(static_cast<GSource*>(source));
  }
}

int StopSignalWatch::Dispatch(void* entry) {
  const Entry& e = *static_cast<Entry*>(entry);
  // Copies: the callback may end the watch that holds them.
  const int signal = e.signal;
  const std::function<void(int)> on_stop = e.watch->on_stop_;
  on_stop(signal);
  return G_SOURCE_CONTINUE;
}

const char* StopSignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "another signal";
  }
}

}  // namespace platform
