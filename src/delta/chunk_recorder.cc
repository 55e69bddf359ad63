#include "delta/chunk_recorder.h"

#include <cstring>

namespace delta {

ChunkRecorder::ChunkRecorder(const ChunkParams& params) : chunker_(params) {}

void ChunkRecorder::EndChunk() {
  IndexedChunk& chunk = chunks_.emplace_back();
  chunk.offset = offset_;
  chunk.length = length_;
  const std::string sha256 = digest_.FinalBytes();
  std::memcpy(chunk.digest.data(), sha256.data(), chunk.digest.size());
  offset_ += length_;
  length_ = 0;
}

bool ChunkRecorder::Finish() {
  if (length_ == 0) return false;
  EndChunk();
  return true;
}

}  // namespace delta
