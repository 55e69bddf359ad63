// The timeout timer of a socket: a repeating timer on the message loop
// whose settings re-apply only when they change, so re-arming a running
// timer with the same interval keeps its countdown.
#pragma once

#include <functional>

#include "platform/event_loop.h"

class TThreadTimer {
 public:
  using TNotifyEvent = std::function<void()>;

  TThreadTimer() = default;
  TThreadTimer(const TThreadTimer&) = delete;
  TThreadTimer& operator=(const TThreadTimer&) = delete;

  bool Enabled() const { return enabled_; }
  unsigned Interval() const { return interval_; }
  // Each setter restarts the timer when its value differs from the stored
  // one: it then ticks every Interval ms while Enabled, Interval > 0 and an
  // OnTimer is set. Ticks run on the message loop; an exception leaving
  // OnTimer is dropped there, as nothing above the loop could take it.
  void SetEnabled(bool enabled);
  void SetInterval(unsigned interval_ms);
  void SetOnTimer(TNotifyEvent on_timer);

 private:
  void Apply();

  bool enabled_ = true;
  unsigned interval_ = 1000;
  TNotifyEvent on_timer_;
  platform::Timer timer_;
};
