// The multipart/byteranges reader of the HTTP transport, which takes a
// server's answer to a request for several ranges: whatever the server
// sends, in whatever pieces, every part it accepts is an ordered range,
// the bytes it hands on never exceed that range, and once it reports a
// fault it stays failed. The input's first byte sets the piece size.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/byte_ranges_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
  int64_t left = 0;
  bool in_part = false;
  ByteRangesBody reader(
      "b",
      [&](const ContentRange& range) -> std::optional<std::string> {
        if (range.first < 0 || range.last < range.first) abort();
        if (in_part && left != 0) abort();  // the part before was cut short
        left = range.last - range.first + 1;
        in_part = true;
        return std::nullopt;
      },
      [&](std::string_view bytes) {
        if (!in_part || static_cast<int64_t>(bytes.size()) > left) abort();
        left -= static_cast<int64_t>(bytes.size());
      });
  std::optional<std::string> fault;
  for (size_t at = 0; at < body.size(); at += piece) {
    std::optional<std::string> now = reader.Take(body.substr(at, piece));
    if (fault && now != fault) abort();
    fault = now;
  }
  if (fault && reader.Ended()) abort();
  if (reader.Ended() && in_part && left != 0) abort();
  return 0;
}
