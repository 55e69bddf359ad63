// The one response header the HTTP transport reads itself: Content-Range,
// which says where the bytes of a 206 answer sit in the whole file.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

struct ContentRange {
  int64_t first = 0;
  int64_t last = 0;       // inclusive
  int64_t complete = -1;  // the whole file's length; -1 for "*" (unknown)
};

// Parses the value of a Content-Range header of a 206 answer:
// "bytes 100-199/200" or "bytes 100-199/*", the unit in any case, spaces
// around the value allowed. nullopt for anything else: another unit, the
// "bytes */200" of a refused range, last before first, a last byte at or
// past the complete length, a number that does not fit in 63 bits, or
// anything after it.
std::optional<ContentRange> ParseContentRange(std::string_view value);
