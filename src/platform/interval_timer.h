// A repeating timer with the settings of a component timer: it ticks every
// Interval ms while Enabled, Interval > 0 and a handler is set. A setter
// restarts the countdown only when it changes the stored value, so re-arming
// a running timer with the same settings keeps its countdown. Ticks run on
// the message loop; the handler must not throw (nothing above the loop
// could take the exception), so owners wrap handlers that can.
#pragma once

#include <functional>

#include "platform/event_loop.h"

namespace platform {

class IntervalTimer {
 public:
  IntervalTimer() = default;
  IntervalTimer(const IntervalTimer&) = delete;
  IntervalTimer& operator=(const IntervalTimer&) = delete;

  bool Enabled() const { return enabled_; }
  unsigned Interval() const { return interval_; }
  void SetEnabled(bool enabled);
  void SetInterval(unsigned interval_ms);
  // Replaces the handler and restarts the countdown.
  void SetOnTimer(std::function<void()> on_timer);

 private:
  void Apply();

  bool enabled_ = true;
  unsigned interval_ = 1000;
  std::function<void()> on_timer_;
  Timer timer_;
};

}  // namespace platform
