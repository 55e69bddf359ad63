#include "update/gauge_units.h"

#include <algorithm>

int GaugeUnits(int64_t bytes, int64_t total) {
  int shift = 0;
  while ((total >> shift) > INT32_MAX) ++shift;
  return static_cast<int>(std::clamp<int64_t>(bytes >> shift, 0, INT32_MAX));
}
