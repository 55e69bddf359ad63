#include "platform/event_loop.h"

#include <glib-unix.h>
#include <glib.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace platform {

namespace {

// The calling thread's context: its ThreadMessageLoop's, else the default.
GMainContext* ThreadContext() {
  GMainContext* context = g_main_context_get_thread_default();
  return context != nullptr ? context : g_main_context_default();
}

// Attaches `source` to the calling thread's context; the context holds the
// only reference from then on.
GSource* AttachHere(GSource* source) {
  g_source_attach(source, ThreadContext());
  g_source_unref(source);
  return source;
}

void DestroySource(void*& source) {
  if (source != nullptr) g_source_destroy(static_cast<GSource*>(source));
  source = nullptr;
}

}  // namespace

MessageLoopRef MessageLoopRef::Current() {
  MessageLoopRef loop;
  loop.context_ = std::shared_ptr<void>(g_main_context_ref(ThreadContext()),
                                        [](void* context) { g_main_context_unref(static_cast<GMainContext*>(context)); });
  return loop;
}

namespace {

// A message on its way to another thread's loop. GLib hands it over under
// its own lock, which ThreadSanitizer cannot see; the flag's release and
// acquire make the hand-over visible to it (and cost nothing else).
struct PostedMessage {
  std::function<void()> run;
  std::atomic<bool> sent{false};

  static PostedMessage& Received(gpointer data) {
    auto& message = *static_cast<PostedMessage*>(data);
    (void)message.sent.load(std::memory_order_acquire);
    return message;
  }
};

}  // namespace

void MessageLoopRef::Post(std::function<void()> message) const {
  auto* boxed = new PostedMessage{std::move(message)};
  boxed->sent.store(true, std::memory_order_release);
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(
      source,
      [](gpointer data) -> gboolean {
        PostedMessage::Received(data).run();
        return G_SOURCE_REMOVE;
      },
      boxed, [](gpointer data) { delete &PostedMessage::Received(data); });
  g_source_attach(source, static_cast<GMainContext*>(context_.get()));
  g_source_unref(source);
}

ThreadMessageLoop::ThreadMessageLoop() : context_(g_main_context_new()) {
  g_main_context_push_thread_default(static_cast<GMainContext*>(context_));
}

ThreadMessageLoop::~ThreadMessageLoop() {
  auto* context = static_cast<GMainContext*>(context_);
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
}

void ProcessMessages() {
  GMainContext* context = ThreadContext();
  while (g_main_context_pending(context)) g_main_context_iteration(context, FALSE);
}

void WaitForEvent(int max_ms) {
  GMainContext* context = ThreadContext();
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

void PostMessage(std::function<void()> message) { MessageLoopRef::Current().Post(std::move(message)); }

Timer::~Timer() { Stop(); }

void Timer::Start(unsigned interval_ms, std::function<void()> tick) {
  Stop();
  tick_ = std::move(tick);
  GSource* source = g_timeout_source_new(interval_ms);
  g_source_set_callback(source, G_SOURCE_FUNC(&Timer::Dispatch), this, nullptr);
  source_ = AttachHere(source);
}

void Timer::Stop() { DestroySource(source_); }

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
  DestroySource(source_);
  if (fd_ < 0) return;
  unsigned condition = G_IO_ERR | G_IO_HUP;
  if (want_read) condition |= G_IO_IN;
  if (want_write) condition |= G_IO_OUT;
  GSource* source = g_unix_fd_source_new(fd_, static_cast<GIOCondition>(condition));
  g_source_set_callback(source, G_SOURCE_FUNC(&FdWatch::Dispatch), this, nullptr);
  source_ = AttachHere(source);
}

void FdWatch::Stop() {
  DestroySource(source_);
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
