#include "frontends/cli/progress_line.h"

#include <cmath>
#include <cstdio>

namespace {

// Samples closer together than this replace nothing, so a fast transfer's
// many blocks keep the window small.
constexpr std::chrono::milliseconds kSpacing{100};

}  // namespace

void RateMeter::Add(Clock::time_point at, int64_t bytes) {
  if (!samples_.empty() && bytes < latest_.bytes) samples_.clear();
  latest_ = {at, bytes};
  if (samples_.empty() || at - samples_.back().at >= kSpacing) samples_.push_back(latest_);
  // Keeps one sample at or before the window's start.
  while (samples_.size() > 1 && samples_[1].at <= at - kWindow) samples_.pop_front();
}

std::optional<double> RateMeter::BytesPerSecond() const {
  if (samples_.empty()) return std::nullopt;
  const Sample& oldest = samples_.front();
  const std::chrono::duration<double> span = latest_.at - oldest.at;
  if (span < kFirstSpan) return std::nullopt;
  return static_cast<double>(latest_.bytes - oldest.bytes) / span.count();
}

std::string RateText(double bytes_per_second) {
  static const char* const kUnits[] = {"KiB/s", "MiB/s", "GiB/s"};
  if (bytes_per_second < 1024) return std::to_string(static_cast<int64_t>(bytes_per_second)) + " B/s";
  double value = bytes_per_second / 1024;
  int unit = 0;
  while (value >= 1023.95 && unit < 2) {  // no "1024.0" of the smaller unit
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string DurationText(int64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

std::string ProgressLine(const std::string& window_text, std::optional<double> bytes_per_second,
                         std::optional<int64_t> bytes_left) {
  if (!bytes_per_second) return window_text;
  std::string line = window_text + "  " + RateText(*bytes_per_second);
  if (bytes_left && *bytes_per_second > 0) {
    const auto seconds = static_cast<int64_t>(std::ceil(static_cast<double>(*bytes_left) / *bytes_per_second));
    line += "  " + DurationText(seconds) + " left";
  }
  return line;
}
