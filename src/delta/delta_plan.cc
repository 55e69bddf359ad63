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

uint64_t PlannedFetchCost(const DeltaPlan& plan, const ChunkIndex& index, uint64_t request_cost) {
  uint64_t cost = 0;
  uint64_t span_end = 0;
  for (size_t n = 0; n < plan.fetched.size(); ++n) {
    const IndexedChunk& chunk = index.chunks[plan.fetched[n]];
    const uint64_t gap = chunk.served_offset - span_end;
    cost += n > 0 && gap <= request_cost ? gap : request_cost;
    cost += chunk.served_length;
    span_end = chunk.served_offset + chunk.served_length;
  }
  return cost;
}

bool PatchIsWorthIt(const DeltaPlan& plan, const ChunkIndex& index, uint64_t index_bytes, uint64_t request_cost) {
  return PlannedFetchCost(plan, index, request_cost) + index_bytes <= index.served_size / 2;
}

}  // namespace delta
