#include "byte_size.h"

#include <limits>

namespace mkupdate {

std::optional<int64_t> ParseByteSize(std::string_view text) {
  int shift = 0;
  if (!text.empty()) {
    switch (text.back()) {
      case 'K': case 'k': shift = 10; break;
      case 'M': case 'm': shift = 20; break;
      case 'G': case 'g': shift = 30; break;
      default: break;
    }
    if (shift != 0) text.remove_suffix(1);
  }
  if (text.empty()) return std::nullopt;
  const int64_t limit = std::numeric_limits<int64_t>::max() >> shift;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (value > (limit - (c - '0')) / 10) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value << shift;
}

}  // namespace mkupdate
