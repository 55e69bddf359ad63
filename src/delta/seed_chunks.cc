#include "delta/seed_chunks.h"

#include <memory>

#include "delta/chunk_recorder.h"
#include "platform/file_stream.h"

namespace delta {

namespace {
constexpr size_t kReadBlock = 1 << 20;
}  // namespace

void SeedChunks::Add(const IndexedChunk& chunk) { chunks_.try_emplace(chunk.digest, SeedChunk{chunk.offset, chunk.length}); }

std::optional<SeedChunk> SeedChunks::Find(const IndexedChunk& wanted) const {
  const auto found = chunks_.find(wanted.digest);
  if (found == chunks_.end() || found->second.length != wanted.length) return std::nullopt;
  return found->second;
}

std::optional<SeedChunks> ChunkSeedFile(const std::string& path, const ChunkParams& params) {
  platform::InputFile file(path);
  if (!file.IsOpen()) return std::nullopt;
  ChunkRecorder recorder(params);
  SeedChunks seed;
  const auto block = std::make_unique<char[]>(kReadBlock);
  for (;;) {
    const size_t got = file.Read(block.get(), kReadBlock);
    recorder.Write({block.get(), got});
    // Only the chunks found so far are kept: the recorder's list would
    // otherwise grow with the whole file.
    for (const IndexedChunk& chunk : recorder.chunks()) seed.Add(chunk);
    recorder.chunks().clear();
    if (got < kReadBlock) break;
  }
  if (file.Failed()) return std::nullopt;
  if (recorder.Finish()) seed.Add(recorder.chunks().back());
  return seed;
}

}  // namespace delta
