#include "delta/delta_plan.h"

#include <gtest/gtest.h>

#include <string>

#include "delta/chunk_sample.h"
#include "delta/seed_chunks.h"
#include "support/temp_folder.h"

namespace delta {
namespace {

// The index of `data` served as it is ("O").
ChunkIndex PlainIndexOf(const std::string& data) {
  ChunkIndex index;
  index.installed_size = index.served_size = data.size();
  index.chunks = ChunksOf(data);
  for (IndexedChunk& chunk : index.chunks) chunk.served_offset = chunk.offset, chunk.served_length = chunk.length;
  return index;
}

SeedChunks SeedOf(const std::string& data) {
  SeedChunks seed;
  for (const IndexedChunk& chunk : ChunksOf(data)) seed.Add(chunk);
  return seed;
}

TEST(DeltaPlan, TakesWhatTheSeedHoldsFromWhereItHoldsIt) {
  const std::string v1 = SampleBytes(3 << 20, 1);
  std::string v2 = v1;
  v2.insert(1 << 20, SampleBytes(5000, 2));  // shifts everything after it
  v2.erase(2 << 20, 70000);
  v2.replace(v2.size() - 100, 100, std::string(100, 'x'));
  const ChunkIndex index = PlainIndexOf(v2);

  const DeltaPlan plan = PlanDelta(index, SeedOf(v1));
  ASSERT_EQ(plan.chunks.size(), index.chunks.size());
  uint64_t fetched = 0;
  for (size_t k = 0; k < index.chunks.size(); ++k) {
    const IndexedChunk& chunk = index.chunks[k];
    if (plan.chunks[k].from_seed)
      EXPECT_EQ(v1.substr(plan.chunks[k].seed_offset, chunk.length), v2.substr(chunk.offset, chunk.length)) << k;
    else
      fetched += chunk.served_length;
  }
  EXPECT_EQ(fetched, plan.fetched_bytes);
  EXPECT_EQ(plan.seed_bytes + plan.fetched_bytes, v2.size());
  // Three edits, each costing the chunks around it.
  EXPECT_GE(plan.fetched.size(), 3u);
  EXPECT_LE(plan.fetched.size(), 12u);
  EXPECT_TRUE(PatchIsWorthIt(plan, index, 1000, 1024));

  // A plan that continues an assembly leaves the chunks before it alone.
  const DeltaPlan rest = PlanDelta(index, SeedOf(v1), index.chunks.size() / 2);
  EXPECT_EQ(rest.chunks.size(), index.chunks.size() - index.chunks.size() / 2);
  for (const size_t k : rest.fetched) EXPECT_GE(k, index.chunks.size() / 2);
}

TEST(DeltaPlan, AnUnrelatedSeedIsNotWorthPatchingFrom) {
  const ChunkIndex index = PlainIndexOf(SampleBytes(1 << 20, 3));
  const DeltaPlan plan = PlanDelta(index, SeedOf(SampleBytes(1 << 20, 4)));
  EXPECT_EQ(plan.fetched.size(), index.chunks.size());
  EXPECT_FALSE(PatchIsWorthIt(plan, index, 0, 0));
}

TEST(DeltaPlan, EachRequestCostsItsShareAndNearChunksShareOne) {
  const ChunkIndex index = PlainIndexOf(SampleBytes(2 << 20, 5));
  ASSERT_GE(index.chunks.size(), 12u);
  DeltaPlan plan;
  plan.fetched = {2, 3, 10};
  for (const size_t k : plan.fetched) plan.fetched_bytes += index.chunks[k].served_length;
  const uint64_t gap = index.chunks[10].served_offset - (index.chunks[3].served_offset + index.chunks[3].served_length);

  EXPECT_EQ(PlannedFetchCost(plan, index, 0), plan.fetched_bytes);
  EXPECT_EQ(PlannedFetchCost(plan, index, gap - 1), plan.fetched_bytes + 2 * (gap - 1));
  EXPECT_EQ(PlannedFetchCost(plan, index, gap), plan.fetched_bytes + gap + gap) << "the gap is fetched";
  EXPECT_TRUE(PatchIsWorthIt(plan, index, 0, 0));
  EXPECT_FALSE(PatchIsWorthIt(plan, index, 0, index.served_size / 2 - plan.fetched_bytes + 1))
      << "requests can outweigh what the chunks save";
}

TEST(SeedChunks, AFileIsCutAsTheRecorderCutsItsBytes) {
  const std::string data = SampleBytes((5 << 20) + 123, 6);  // past the read block, not a multiple of it
  test_support::TempFolder folder;
  const std::optional<SeedChunks> seed = ChunkSeedFile(folder.Write("seed", data), kDefaultChunkParams);
  ASSERT_TRUE(seed.has_value());
  const std::vector<IndexedChunk> chunks = ChunksOf(data);
  EXPECT_EQ(seed->size(), chunks.size());
  for (const IndexedChunk& chunk : chunks) {
    const std::optional<SeedChunk> found = seed->Find(chunk);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->offset, chunk.offset);
  }
  IndexedChunk longer = chunks.front();
  ++longer.length;
  EXPECT_FALSE(seed->Find(longer).has_value()) << "the same digest with another length is another chunk";

  EXPECT_FALSE(ChunkSeedFile(folder.path() + "missing", kDefaultChunkParams).has_value());
}

}  // namespace
}  // namespace delta
