#include "delta/content_chunker.h"

#include <gtest/gtest.h>

#include <set>

#include "chunk_sample.h"

namespace delta {
namespace {

std::set<ChunkDigest> Digests(const std::vector<IndexedChunk>& chunks) {
  std::set<ChunkDigest> digests;
  for (const IndexedChunk& chunk : chunks) digests.insert(chunk.digest);
  return digests;
}

// How many chunks of `after` the chunks of `before` already had.
size_t Shared(const std::vector<IndexedChunk>& before, const std::vector<IndexedChunk>& after) {
  const std::set<ChunkDigest> known = Digests(before);
  size_t shared = 0;
  for (const IndexedChunk& chunk : after) shared += known.count(chunk.digest);
  return shared;
}

TEST(ContentChunker, AnEditDisturbsOnlyTheChunksAroundIt) {
  const std::string original = SampleBytes(16 << 20, 1);
  const std::vector<IndexedChunk> before = ChunksOf(original);
  ASSERT_GT(before.size(), 150u);
  const size_t middle = original.size() / 2;
  struct Edit {
    const char* what;
    std::string data;
  };
  const Edit edits[] = {
      {"insertion of 1000 bytes", original.substr(0, middle) + SampleBytes(1000, 2) + original.substr(middle)},
      {"deletion of 1000 bytes", original.substr(0, middle) + original.substr(middle + 1000)},
      {"5 bytes changed in place", original.substr(0, middle) + "12345" + original.substr(middle + 5)},
      {"insertion at the start", "x" + original},
  };
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.what);
    const std::vector<IndexedChunk> after = ChunksOf(edit.data);
    EXPECT_GE(Shared(before, after) + 3, after.size()) << "at most 3 chunks are new";
  }
}

TEST(ContentChunker, BoundariesDoNotDependOnHowTheBytesArrive) {
  const std::string data = SampleBytes(3 << 20, 3);
  const std::vector<IndexedChunk> whole = ChunksOf(data, data.size());
  for (size_t piece : {1, 7, 4096, 65536 + 3}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    EXPECT_EQ(ChunksOf(data, piece), whole);
  }
}

TEST(ContentChunker, LengthsStayWithinTheLimits) {
  const ChunkParams params = kDefaultChunkParams;
  const std::string random = SampleBytes(32 << 20, 4);
  // A run of 'a' never meets the mask: only max ends its chunks.
  const std::string uniform(1 << 20, 'a');
  for (const std::string* data : {&random, &uniform}) {
    const std::vector<IndexedChunk> chunks = ChunksOf(*data);
    uint64_t total = 0;
    for (size_t k = 0; k < chunks.size(); ++k) {
      EXPECT_EQ(chunks[k].offset, total);
      total += chunks[k].length;
      EXPECT_LE(chunks[k].length, params.max);
      if (k + 1 < chunks.size()) {
        EXPECT_GT(chunks[k].length, params.min) << "chunk " << k;
      }
    }
    EXPECT_EQ(total, data->size());
    if (data == &uniform) {
      EXPECT_EQ(chunks.front().length, params.max);
    } else {
      const double average = static_cast<double>(total) / static_cast<double>(chunks.size());
      EXPECT_GT(average, 0.75 * (1 << params.avg_bits));
      EXPECT_LT(average, 1.5 * (1 << params.avg_bits));
    }
  }
}

TEST(ContentChunker, OtherParametersGiveOtherBoundaries) {
  const std::string data = SampleBytes(4 << 20, 5);
  const ChunkParams small{4096, 14, 65536};
  const std::vector<IndexedChunk> chunks = ChunksOf(data, 1 << 18, small);
  EXPECT_GT(chunks.size(), ChunksOf(data).size() * 3 / 2);
  for (const IndexedChunk& chunk : chunks) EXPECT_LE(chunk.length, small.max);
}

TEST(ContentChunker, ParametersOutsideTheBoundsAreRefused) {
  EXPECT_TRUE(ValidChunkParams(kDefaultChunkParams));
  EXPECT_FALSE(ValidChunkParams({512, 16, 256 * 1024})) << "min below 1 KiB";
  EXPECT_FALSE(ValidChunkParams({16384, 16, 32 * 1024 * 1024})) << "max above 16 MiB";
  EXPECT_FALSE(ValidChunkParams({65536, 16, 256 * 1024})) << "min not below the average";
  EXPECT_FALSE(ValidChunkParams({16384, 18, 256 * 1024})) << "max not above the average";
  EXPECT_FALSE(ValidChunkParams({16384, 60, UINT32_MAX}));
}

}  // namespace
}  // namespace delta
