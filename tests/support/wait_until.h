// Waiting in a test for what the message loop, another thread or another
// process brings about. The calling thread's message loop is pumped while
// it waits, so timers, socket notifications and messages posted to it
// (a helper thread's "done") run meanwhile, and an idle wait costs no CPU.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/event_loop.h"

namespace test_support {

// Pumps the calling thread's loop until `condition` holds or `limit` has
// passed. On failure the result says what was awaited and for how long:
// ASSERT_TRUE(WaitUntil([&] { return ...; }, "the helper logged in")).
inline ::testing::AssertionResult WaitUntil(const std::function<bool()>& condition, const std::string& what,
                                            std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return ::testing::AssertionFailure() << "waited " << limit.count() << " ms in vain for " << what;
    }
    platform::WaitForEvent(2);
  }
  return ::testing::AssertionSuccess();
}

// Pumps until the file at `path` holds a whole line, as a program the test
// started writes it: the shell creates the file before it writes to it.
inline ::testing::AssertionResult WaitForLine(const std::string& path) {
  return WaitUntil([&] {
    std::ifstream file(path, std::ios::binary);
    const std::string content(std::istreambuf_iterator<char>(file), {});
    return !content.empty() && content.back() == '\n';
  }, "a whole line in " + path);
}

}  // namespace test_support
