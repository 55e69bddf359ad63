#include "delta/delta_plan.h"

namespace delta {

DeltaPlan PlanDelta(const ChunkIndex& index, const SeedChunks& seed, size_t first_chunk) {
  DeltaPlan plan;
  plan.first_chunk = first_chunk;
  for (size_t k = first_chunk; k < index.chunks.size(); ++k) {
    const IndexedChunk& chunk = index.chunks[k];
    if (const std::optional<SeedChunk> held = seed.Find(chunk)) {
      plan.chunks.push_back({true, held->offset});
      plan.seed_bytes += chunk.length;
    } else {
      plan.chunks.push_back({});
      plan.fetched.push_back(k);
      plan.fetched_bytes += chunk.served_length;
    }
  }
  return plan;
}

bool PatchIsWorthIt(const DeltaPlan& plan, const ChunkIndex& index, uint64_t index_bytes) {
  return plan.fetched_bytes + index_bytes <= index.served_size / 2;
}

}  // namespace delta
