// A component timer on the message loop: while Enabled, with an interval
// above 0 and an OnTimer handler, OnTimer runs every Interval milliseconds.
// An exception from the handler is shown in the application's error box.
#pragma once

#include <functional>

#include "platform/event_loop.h"
#include "vcl/component.h"

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner) : TComponent(owner) {}

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned interval_ms);
  void SetOnTimer(std::function<void()> handler);

 private:
  void Update();
  bool enabled_ = true;
  unsigned interval_ = 1000;
  std::function<void()> on_timer_;
  platform::Timer timer_;
};
