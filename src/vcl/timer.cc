#include "vcl/timer.h"

#include <exception>

#include "vcl/application.h"

void TTimer::SetOnTimer(std::function<void()> handler) {
  if (!handler) {
    timer_.SetOnTimer(nullptr);
    return;
  }
  timer_.SetOnTimer([handler = std::move(handler)] {
    try {
      handler();
    } catch (const std::exception& e) {
      // A handler's failure ends that tick, as a click's would.
      Application.ShowException(e);
    }
  });
}
