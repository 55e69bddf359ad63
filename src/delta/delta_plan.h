// Which chunks of a new version come from a seed file the updater holds
// and which must be fetched, and whether fetching them is worth it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "delta/chunk_index.h"
#include "delta/seed_chunks.h"

namespace delta {

struct PlannedChunk {
  bool from_seed = false;
  uint64_t seed_offset = 0;  // from_seed: where the seed holds it
};

struct DeltaPlan {
  size_t first_chunk = 0;            // chunks before it are already in place
  std::vector<PlannedChunk> chunks;  // one per index chunk from first_chunk on
  std::vector<size_t> fetched;       // the index's numbers of the chunks to fetch, in order
  uint64_t fetched_bytes = 0;        // their served bytes
  uint64_t seed_bytes = 0;           // installed bytes taken from the seed
};

// Plans index chunks first_chunk and on: each from the seed when it holds
// a chunk of the same digest and length, else fetched.
DeltaPlan PlanDelta(const ChunkIndex& index, const SeedChunks& seed, size_t first_chunk = 0);

// What fetching the plan's chunks costs, in bytes: their served bytes, and
// for each request the transport makes for them `request_cost`, chunks
// closer than that on the server sharing one (the bytes between them
// fetched too).
uint64_t PlannedFetchCost(const DeltaPlan& plan, const ChunkIndex& index, uint64_t request_cost);

// Whether fetching the plan's chunks (and the index of `index_bytes`)
// costs at most half of fetching the whole served file: past that the
// second pass over the seed and a cut-off transfer's cost eat what is
// saved.
bool PatchIsWorthIt(const DeltaPlan& plan, const ChunkIndex& index, uint64_t index_bytes, uint64_t request_cost);

}  // namespace delta
