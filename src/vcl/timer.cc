#include "vcl/timer.h"

#include <exception>

#include "vcl/application.h"

void TTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Update();
}

void TTimer::SetInterval(unsigned interval_ms) {
  interval_ = interval_ms;
  Update();
}

void TTimer::SetOnTimer(std::function<void()> handler) {
  on_timer_ = std::move(handler);
  Update();
}

void TTimer::Update() {
  timer_.Stop();
  if (!enabled_ || interval_ == 0 || !on_timer_) return;
  timer_.Start(interval_, [this] {
    try {
      on_timer_();
    } catch (const std::exception& e) {
      Application.ShowException(e);
    }
  });
}
