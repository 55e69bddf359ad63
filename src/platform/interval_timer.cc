#include "platform/interval_timer.h"

namespace platform {

void IntervalTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Apply();
}

void IntervalTimer::SetInterval(unsigned interval_ms) {
  if (interval_ms == interval_) return;
  interval_ = interval_ms;
  Apply();
}

void IntervalTimer::SetOnTimer(std::function<void()> on_timer) {
  on_timer_ = std::move(on_timer);
  Apply();
}

void IntervalTimer::Apply() {
  timer_.Stop();
  if (interval_ == 0 || !enabled_ || !on_timer_) return;
  timer_.Start(interval_, [this] {
    // A copy: the handler may replace itself.
    const std::function<void()> tick = on_timer_;
    tick();
  });
}

}  // namespace platform
