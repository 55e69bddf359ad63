// The chunks of a file the updater already holds (the installed older
// version, or a file it had begun to assemble), found by their content, so
// that a new version's chunks can be taken from it instead of fetched.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>

#include "delta/chunk_index.h"
#include "delta/content_chunker.h"

namespace delta {

struct SeedChunk {
  uint64_t offset = 0;  // in the seed file
  uint64_t length = 0;
};

class SeedChunks {
 public:
  // The first of the chunks added with this digest wins.
  void Add(const IndexedChunk& chunk);
  // A seed chunk with the digest and the length of `wanted`, if any.
  std::optional<SeedChunk> Find(const IndexedChunk& wanted) const;
  size_t size() const { return chunks_.size(); }

 private:
  struct DigestHash {
    size_t operator()(const ChunkDigest& digest) const {
      size_t hash;
      std::memcpy(&hash, digest.data(), sizeof hash);  // a digest's bytes are already uniform
      return hash;
    }
  };
  std::unordered_map<ChunkDigest, SeedChunk, DigestHash> chunks_;
};

// Reads the file at `path` (a real path) and cuts it as the publisher cut
// its files with `params` (ValidChunkParams). nullopt when the file cannot
// be read to its end. Throws ETrustError when libgcrypt cannot be used.
std::optional<SeedChunks> ChunkSeedFile(const std::string& path, const ChunkParams& params);

}  // namespace delta
