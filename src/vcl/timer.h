// A component timer on the message loop: while Enabled, with an interval
// above 0 and an OnTimer handler, OnTimer runs every Interval milliseconds
// (see platform::IntervalTimer). An exception from the handler is shown in
// the application's error box.
#pragma once

#include <functional>

#include "platform/interval_timer.h"
#include "vcl/component.h"

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner) : TComponent(owner) {}

  bool Enabled() const { return timer_.Enabled(); }
  void SetEnabled(bool enabled) { timer_.SetEnabled(enabled); }
  unsigned Interval() const { return timer_.Interval(); }
  void SetInterval(unsigned interval_ms) { timer_.SetInterval(interval_ms); }
  void SetOnTimer(std::function<void()> handler);

 private:
  platform::IntervalTimer timer_;
};
