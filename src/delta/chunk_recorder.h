// Cuts a stream into content-defined chunks and takes each chunk's
// offset, length and digest as chunk_index.h defines them, in one pass.
#pragma once

#include <string_view>
#include <vector>

#include "delta/chunk_index.h"
#include "delta/content_chunker.h"
#include "trust/sha256.h"

namespace delta {

class ChunkRecorder {
 public:
  // Throws ETrustError when libgcrypt cannot be used.
  explicit ChunkRecorder(const ChunkParams& params = kDefaultChunkParams);

  // Feeds the next bytes of the stream, in pieces of any size, and calls
  // on_piece(piece, ends_chunk) for each run of bytes of one chunk, in
  // order: when ends_chunk is set, chunks().back() is the chunk the piece
  // has just completed (its served range still 0), so a caller that
  // writes the served file can end the chunk there and note its range.
  template <typename OnPiece>
  void Write(std::string_view data, OnPiece&& on_piece) {
    chunker_.Split(data, [&](std::string_view piece, bool ends_chunk) {
      digest_.Update(piece);
      length_ += piece.size();
      if (ends_chunk) EndChunk();
      on_piece(piece, ends_chunk);
    });
  }
  void Write(std::string_view data) {
    Write(data, [](std::string_view, bool) {});
  }

  // Ends the stream; true when that completed a last chunk (then
  // chunks().back()), false when the stream ended on a boundary.
  bool Finish();

  std::vector<IndexedChunk>& chunks() { return chunks_; }
  // Bytes fed so far.
  uint64_t size() const { return offset_ + length_; }
  const ChunkParams& params() const { return chunker_.params(); }

 private:
  void EndChunk();

  ContentChunker chunker_;
  trust::Sha256Stream digest_;
  std::vector<IndexedChunk> chunks_;
  uint64_t offset_ = 0;  // of the current chunk
  uint64_t length_ = 0;  // of the current chunk so far
};

}  // namespace delta
