// Waiting in a test for something another thread or process brings about.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace test_support {

// Polls condition until it holds or five seconds have passed; whether it held.
inline bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace test_support
