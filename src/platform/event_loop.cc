#include "platform/event_loop.h"

#include <glib-unix.h>
#include <glib.h>

#include <algorithm>
#include <vector>

namespace platform {

void ProcessMessages() {
  GMainContext* context = g_main_context_default();
  while (g_main_context_pending(context)) g_main_context_iteration(context, FALSE);
}

void WaitForEvent(int max_ms) {
  GMainContext* context = g_main_context_default();
  if (!g_main_context_acquire(context)) {
    // Another thread owns the loop; never the case in this program, but a
    // plain bounded wait keeps the promise.
    g_usleep(static_cast<gulong>(max_ms) * 1000);
    return;
  }
  gint max_priority = 0;
  g_main_context_prepare(context, &max_priority);

  std::vector<GPollFD> fds(8);
  gint timeout = -1;
  gint count;
  while ((count = g_main_context_query(context, max_priority, &timeout, fds.data(),
                                       static_cast<gint>(fds.size()))) >
         static_cast<gint>(fds.size())) {
    fds.resize(count);
  }
  if (timeout < 0 || timeout > max_ms) timeout = max_ms;
  g_poll(fds.data(), count, timeout);
  if (g_main_context_check(context, max_priority, fds.data(), count)) g_main_context_dispatch(context);
  g_main_context_release(context);
  // Whatever became ready during the dispatch is handled too, so a burst of
  // data is consumed without another wait.
  ProcessMessages();
}

void PostMessage(std::function<void()> message) {
  auto* boxed = new std::function<void()>(std::move(message));
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      boxed, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

Timer::~Timer() { Stop(); }

void Timer::Start(unsigned interval_ms, std::function<void()> tick) {
  Stop();
  tick_ = std::move(tick);
  source_id_ = g_timeout_add(interval_ms, reinterpret_cast<GSourceFunc>(&Timer::Dispatch), this);
}

void Timer::Stop() {
  if (source_id_ != 0) g_source_remove(source_id_);
  source_id_ = 0;
}

int Timer::Dispatch(void* self) {
  // The tick may stop or even destroy this timer; run a copy and touch
  // nothing of the object afterwards. GLib drops a source removed meanwhile.
  auto tick = static_cast<Timer*>(self)->tick_;
  tick();
  return G_SOURCE_CONTINUE;
}

FdWatch::~FdWatch() { Stop(); }

void FdWatch::Start(int fd, bool want_read, bool want_write, std::function<void(FdReadiness)> ready) {
  Stop();
  fd_ = fd;
  ready_ = std::move(ready);
  Update(want_read, want_write);
}

void FdWatch::Update(bool want_read, bool want_write) {
  if (source_id_ != 0) g_source_remove(source_id_);
  source_id_ = 0;
  if (fd_ < 0) return;
  unsigned condition = G_IO_ERR | G_IO_HUP;
  if (want_read) condition |= G_IO_IN;
  if (want_write) condition |= G_IO_OUT;
  source_id_ = g_unix_fd_add_full(G_PRIORITY_DEFAULT, fd_, static_cast<GIOCondition>(condition),
                                  reinterpret_cast<GUnixFDSourceFunc>(&FdWatch::Dispatch), this, nullptr);
}

void FdWatch::Stop() {
  if (source_id_ != 0) g_source_remove(source_id_);
  source_id_ = 0;
  fd_ = -1;
}

int FdWatch::Dispatch(int /*fd*/, unsigned condition, void* self) {
  FdReadiness readiness;
  readiness.readable = (condition & G_IO_IN) != 0;
  readiness.writable = (condition & G_IO_OUT) != 0;
  readiness.hangup = (condition & (G_IO_HUP | G_IO_ERR)) != 0;
  // As with Timer: the callback may stop or destroy this watch.
  auto ready = static_cast<FdWatch*>(self)->ready_;
  ready(readiness);
  return G_SOURCE_CONTINUE;
}

}  // namespace platform
