// The little-endian integers of the stored binary formats (bundle
// trailers, reference lists, window outlines, bitmap headers), read and
// written byte by byte whatever the machine's own order.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The 16-bit unsigned value of the two bytes at `at`.
inline uint16_t ReadLe16(const void* at) {
  const auto* b = static_cast<const unsigned char*>(at);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

// The 32-bit signed value of the four bytes at `at`.
inline int32_t ReadLe32(const void* at) {
  const auto* b = static_cast<const unsigned char*>(at);
  return static_cast<int32_t>(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24);
}

// Stores `value` in the four bytes at `at`.
inline void WriteLe32(void* at, int32_t value) {
  auto* b = static_cast<unsigned char*>(at);
  const auto bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(bits >> (8 * i));
}

// Appends the four bytes of `value` to `out`.
inline void AppendLe32(std::string& out, int32_t value) {
  char bytes[4];
  WriteLe32(bytes, value);
  out.append(bytes, 4);
}

}  // namespace platform
