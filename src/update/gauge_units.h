// The byte progress gauge holds 32-bit values; a transfer may be larger.
#pragma once

#include <cstdint>

// `bytes` of a transfer of `total` bytes as the gauge shows them: as they
// are while total fits 31 bits, else in units of 2^k bytes, k the least
// that brings total within them, so that the gauge keeps its proportion.
// Negative counts show as 0.
int GaugeUnits(int64_t bytes, int64_t total);
