#include "vcl/gauge.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/errors.h"

namespace {

Exception OutOfRange(long long low, long long high) {
  return Exception("Value must be between " + std::to_string(low) + " and " +
                   std::to_string(high));
}

}  // namespace

TGauge::TGauge(TComponent* owner) : TControl(owner) {}

void TGauge::SetMaxValue(int value) {
  if (value < min_) throw OutOfRange(static_cast<long long>(min_) + 1, std::numeric_limits<int>::max());
  if (value == max_) return;
  max_ = value;
  if (progress_ > max_) progress_ = max_;
  Repaint();
}

void TGauge::SetMinValue(int value) {
  if (value > max_) throw OutOfRange(std::numeric_limits<int>::min(), static_cast<long long>(max_) - 1);
  if (value == min_) return;
  min_ = value;
  if (progress_ < min_) progress_ = min_;
  Repaint();
}

void TGauge::SetProgress(int value) {
  const int clamped = std::clamp(value, min_, max_);
  const int before = PercentDone();
  progress_ = clamped;
  if (PercentDone() != before) Repaint();
}

int TGauge::PercentDone() const {
  if (max_ == min_) return 0;
  // 64-bit so that wide ranges cannot overflow.
  const long long done = static_cast<long long>(progress_) - min_;
  return static_cast<int>(done * 100 / (static_cast<long long>(max_) - min_));
}

int TGauge::BarWidth(int inner_width) const {
  const long long width = static_cast<long long>(inner_width) * PercentDone() / 100;
  return static_cast<int>(std::clamp<long long>(width, 0, std::max(inner_width, 0)));
}

void TGauge::Repaint() {
  ++repaints_;
  Invalidate();
}
