// Sample data for the chunking tests: reproducible pseudo-random bytes and
// the chunks a recorder finds in them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delta/chunk_recorder.h"

namespace delta {

// size bytes from a fixed generator (xorshift), the same for a seed on every run.
inline std::string SampleBytes(size_t size, uint64_t seed) {
  std::string bytes(size, '\0');
  uint64_t x = seed * 0x9E3779B97F4A7C15 + 1;
  for (char& c : bytes) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    c = static_cast<char>(x >> 56);
  }
  return bytes;
}

// The chunks of data, fed in pieces of `piece` bytes.
inline std::vector<IndexedChunk> ChunksOf(std::string_view data, size_t piece = 1 << 18,
                                          const ChunkParams& params = kDefaultChunkParams) {
  ChunkRecorder recorder(params);
  for (size_t at = 0; at < data.size(); at += piece) recorder.Write(data.substr(at, piece));
  recorder.Finish();
  return recorder.chunks();
}

}  // namespace delta
