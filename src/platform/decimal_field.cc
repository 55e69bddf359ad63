#include "platform/decimal_field.h"

namespace platform {

std::optional<int64_t> DecimalField(std::string_view field) {
  if (field.empty()) return std::nullopt;
  constexpr int64_t kMost = INT64_MAX;
  int64_t value = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value > (kMost - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace platform
