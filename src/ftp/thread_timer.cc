#include "ftp/thread_timer.h"

void TThreadTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Apply();
}

void TThreadTimer::SetInterval(unsigned interval_ms) {
  if (interval_ms == interval_) return;
  interval_ = interval_ms;
  Apply();
}

void TThreadTimer::SetOnTimer(TNotifyEvent on_timer) {
  on_timer_ = std::move(on_timer);
  Apply();
}

void TThreadTimer::Apply() {
  timer_.Stop();
  if (interval_ == 0 || !enabled_ || !on_timer_) return;
  timer_.Start(interval_, [this] {
    TNotifyEvent tick = on_timer_;
    try {
      tick();
    } catch (...) {
    }
  });
}
