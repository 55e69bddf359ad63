#include "update/chunk_assembly.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {
// The bytes written at a time: whole pages, and few calls.
constexpr size_t kWriteBlock = 4 << 20;
}  // namespace

ChunkAssembly::ChunkAssembly(const delta::ChunkIndex& index, const delta::DeltaPlan& plan, platform::InputFile& seed,
                             platform::OutputFile& out, trust::BackgroundSha256& digest)
    : index_(index), plan_(plan), seed_(seed), out_(out), digest_(digest), next_chunk_(plan.first_chunk) {
  if (next_chunk_ > 0) assembled_ = index.chunks[next_chunk_ - 1].offset + index.chunks[next_chunk_ - 1].length;
}

void ChunkAssembly::Receive(size_t range, std::string_view bytes) {
  if (!refusal_.empty() || write_error_ != 0) return;
  const size_t chunk = plan_.fetched[range];
  const uint64_t wanted = index_.chunks[chunk].served_length;
  // The transport hands over exactly the ranges asked for, in order.
  served_.append(bytes.substr(0, wanted - std::min<uint64_t>(served_.size(), wanted)));
  if (served_.size() < wanted) return;
  CopySeedChunksBefore(chunk);
  if (refusal_.empty() && write_error_ == 0) TakeFetched(chunk);
  served_.clear();
}

void ChunkAssembly::Finish() {
  if (refusal_.empty() && write_error_ == 0) CopySeedChunksBefore(index_.chunks.size());
  if (refusal_.empty()) WriteHeld();
}

void ChunkAssembly::WriteHeld() {
  if (!held_ || held_->empty() || write_error_ != 0) return;
  if ((write_error_ = out_.Write(*held_)) != 0) return;
  digest_.Update(*held_, held_);
  held_.reset();
}

char* ChunkAssembly::Extend(size_t size) {
  if (!held_) {
    held_ = std::make_shared<std::string>();
    held_->reserve(kWriteBlock);
  }
  const size_t at = held_->size();
  held_->resize(at + size);
  assembled_ += size;
  return held_->data() + at;
}

void ChunkAssembly::Append(std::string_view bytes) {
  while (!bytes.empty() && write_error_ == 0) {
    const size_t room = kWriteBlock - (held_ ? held_->size() : 0);
    const size_t piece = std::min(room, bytes.size());
    std::memcpy(Extend(piece), bytes.data(), piece);
    bytes.remove_prefix(piece);
    if (held_->size() == kWriteBlock) WriteHeld();
  }
}

void ChunkAssembly::CopySeedChunksBefore(size_t chunk) {
  while (next_chunk_ < chunk && write_error_ == 0) {
    // The run of chunks the seed holds one after the other is read at once.
    const uint64_t offset = plan_.chunks[next_chunk_ - plan_.first_chunk].seed_offset;
    uint64_t length = 0;
    for (; next_chunk_ < chunk; ++next_chunk_) {
      const delta::PlannedChunk& planned = plan_.chunks[next_chunk_ - plan_.first_chunk];
      if (planned.seed_offset != offset + length) break;
      length += index_.chunks[next_chunk_].length;
    }
    for (uint64_t done = 0; done < length && write_error_ == 0;) {
      const size_t room = kWriteBlock - (held_ ? held_->size() : 0);
      const size_t piece = static_cast<size_t>(std::min<uint64_t>(room, length - done));
      if (seed_.ReadAt(offset + done, Extend(piece), piece) != piece) {
        refusal_ = "the installed file could not be read again";
        return;
      }
      done += piece;
      if (held_->size() == kWriteBlock) WriteHeld();
    }
  }
}

void ChunkAssembly::TakeFetched(size_t chunk) {
  const delta::IndexedChunk& wanted = index_.chunks[chunk];
  std::string inflated;
  const std::string* bytes = &served_;
  if (index_.form == delta::ServedForm::kFlushedGzip) {
    if (!inflater_.Inflate(served_, static_cast<size_t>(wanted.length), inflated)) {
      refusal_ = "a chunk as served does not inflate to its listed length";
      return;
    }
    bytes = &inflated;
  }
  chunk_digest_.Update(*bytes);
  const std::string sha256 = chunk_digest_.FinalBytes();
  if (bytes->size() != wanted.length || std::memcmp(sha256.data(), wanted.digest.data(), wanted.digest.size()) != 0) {
    refusal_ = "a chunk as served differs from the one its index gives";
    return;
  }
  Append(*bytes);
  ++next_chunk_;
}
