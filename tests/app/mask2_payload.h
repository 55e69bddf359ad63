// Reads the stored Mask2 payloads independently of the skin component.
#pragma once

#include <cstddef>
#include <string_view>

// Rectangle count stored in a Mask2 payload's region header.
inline std::size_t StoredRectCount(std::string_view payload) {
  const auto byte = [&](std::size_t i) { return std::size_t(static_cast<unsigned char>(payload[i])); };
  return byte(12) | byte(13) << 8 | byte(14) << 16 | byte(15) << 24;
}
