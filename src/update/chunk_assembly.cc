#include "update/chunk_assembly.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {
constexpr size_t kCopyBlock = 1 << 20;
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
}

void ChunkAssembly::CopySeedChunksBefore(size_t chunk) {
  for (; next_chunk_ < chunk; ++next_chunk_) {
    const delta::PlannedChunk& planned = plan_.chunks[next_chunk_ - plan_.first_chunk];
    uint64_t offset = planned.seed_offset;
    for (uint64_t left = index_.chunks[next_chunk_].length; left > 0;) {
      const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, kCopyBlock));
      auto block = std::make_shared<std::string>(piece, '\0');
      if (seed_.ReadAt(offset, block->data(), piece) != piece) {
        refusal_ = "the installed file could not be read again";
        return;
      }
      Write(*block, block);
      if (write_error_ != 0) return;
      offset += piece;
      left -= piece;
    }
  }
}

void ChunkAssembly::TakeFetched(size_t chunk) {
  const delta::IndexedChunk& wanted = index_.chunks[chunk];
  auto bytes = std::make_shared<std::string>();
  if (index_.form == delta::ServedForm::kFlushedGzip) {
    if (!inflater_.Inflate(served_, static_cast<size_t>(wanted.length), *bytes)) {
      refusal_ = "a chunk as served does not inflate to its listed length";
      return;
    }
  } else {
    bytes->swap(served_);
  }
  chunk_digest_.Update(*bytes);
  const std::string sha256 = chunk_digest_.FinalBytes();
  if (bytes->size() != wanted.length || std::memcmp(sha256.data(), wanted.digest.data(), wanted.digest.size()) != 0) {
    refusal_ = "a chunk as served differs from the one its index gives";
    return;
  }
  Write(*bytes, bytes);
  ++next_chunk_;
}

void ChunkAssembly::Write(std::string_view bytes, const std::shared_ptr<const void>& owner) {
  if ((write_error_ = out_.Write(bytes)) != 0) return;
  digest_.Update(bytes, owner);
  assembled_ += bytes.size();
}
