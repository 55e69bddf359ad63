#include "update/server_order.h"

#include <chrono>
#include <memory>
#include <random>

#include "platform/errors.h"

namespace {

[[noreturn]] void ThrowIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

RandomSource ClockSeededRandom() {
  auto engine = std::make_shared<std::mt19937>(
      static_cast<std::mt19937::result_type>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return [engine](int m) {
    if (m <= 0) return 0;
    return std::uniform_int_distribution<int>(0, m - 1)(*engine);
  };
}

LineList BuildServerOrder(const ServerChoice& choice, LineList isp0_lines, const RandomSource& random) {
  LineList order;
  if (choice.ItemIndex != choice.Count - 1) {
    int p = choice.ItemIndex;
    if (p == 0 && random(100) < 60) p = random(choice.Count - 1);
    if (p < 0 || p >= static_cast<int>(choice.ServerLines.size())) ThrowIndexError(p);
    order.push_back(choice.ServerLines[p]);
    if (p >= static_cast<int>(isp0_lines.size())) ThrowIndexError(p);
    isp0_lines.erase(isp0_lines.begin() + p);
  }
  // The last position is never drawn while more than one line is left, so
  // the end marker stays last.
  while (!isp0_lines.empty()) {
    const int k = random(static_cast<int>(isp0_lines.size()) - 1);
    order.push_back(isp0_lines[k]);
    isp0_lines.erase(isp0_lines.begin() + k);
  }
  return order;
}
