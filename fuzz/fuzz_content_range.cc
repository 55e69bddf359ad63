// The Content-Range parser of the HTTP transport, which decides whether a
// server's bytes are appended to a continued file: whatever a server sends,
// an accepted range is an ordered range inside the complete length, and
// writing it back the canonical way reads back to the same range.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/content_range.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view value(reinterpret_cast<const char*>(data), size);
  const std::optional<ContentRange> range = ParseContentRange(value);
  if (!range) return 0;
  if (range->first < 0 || range->last < range->first) abort();
  if (range->complete != -1 && range->complete <= range->last) abort();
  const std::string canonical = "bytes " + std::to_string(range->first) + "-" + std::to_string(range->last) + "/" +
                                (range->complete < 0 ? std::string("*") : std::to_string(range->complete));
  const std::optional<ContentRange> again = ParseContentRange(canonical);
  if (!again || again->first != range->first || again->last != range->last || again->complete != range->complete)
    abort();
  return 0;
}
