// A horizontal progress bar. Its rules: the range starts as 0..100; a
// maximum below the minimum (or a minimum above the maximum) is refused
// with "Value must be between %d and %d"; a lower maximum pulls the
// progress down with it; the progress is clamped into the range; and the
// bar is repainted on a progress change only when the percentage P changes.
#pragma once

#include <cstdint>

#include "vcl/control.h"

class TGauge : public TControl {
 public:
  explicit TGauge(TComponent* owner);
  ControlKind Kind() const override { return ControlKind::kGauge; }

  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  int Progress() const { return progress_; }
  // Throws Exception "Value must be between <min + 1> and 2147483647" when
  // value < MinValue.
  void SetMaxValue(int value);
  // Throws Exception "Value must be between -2147483648 and <max - 1>" when
  // value > MaxValue.
  void SetMinValue(int value);
  // Clamps into MinValue..MaxValue; repaints only when PercentDone changes.
  void SetProgress(int value);

  // P = (progress - min) * 100 / (max - min), truncated; 0 when max == min.
  int PercentDone() const;
  // Width of the filled bar inside an inner rectangle `inner_width` wide:
  // inner_width * P / 100, truncated, at most inner_width (0 = no bar).
  int BarWidth(int inner_width) const;

  vcl::Color ForeColor = 0xC08000;  // red 0, green 128, blue 192
  vcl::Color BackColor = vcl::kBlack;
  bool ShowText = false;

  // Number of repaints asked for so far (tests check the repaint rule).
  int RepaintCount() const { return repaints_; }

 private:
  void Repaint();

  int min_ = 0;
  int max_ = 100;
  int progress_ = 0;
  int repaints_ = 0;
};
