// Inflates one chunk of a gzip file that was fully flushed at each chunk's
// end (delta/chunk_index.h): a run of raw deflate blocks that needs no
// history and has no final block.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <zlib.h>

class RawChunkInflater {
 public:
  RawChunkInflater();
  ~RawChunkInflater();
  RawChunkInflater(const RawChunkInflater&) = delete;
  RawChunkInflater& operator=(const RawChunkInflater&) = delete;

  // Inflates `deflated` into `out` (replaced). True only when it gives
  // exactly `length` bytes and uses all of `deflated` without reaching a
  // stream end: anything else is not such a chunk of `length` bytes.
  bool Inflate(std::string_view deflated, size_t length, std::string& out);

 private:
  z_stream stream_{};
  bool ready_ = false;
};
