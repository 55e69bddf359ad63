#include "delta/content_chunker.h"

#include <algorithm>
#include <array>

namespace delta {

namespace {

// The gear table of kChunkerId: 256 values from splitmix64 seeded with a
// fixed constant, so it is written once here and never stored.
constexpr std::array<uint64_t, 256> MakeGearTable() {
  std::array<uint64_t, 256> table{};
  uint64_t state = 0x6364632D67656172;  // "cdc-gear"
  for (uint64_t& value : table) {
    state += 0x9E3779B97F4A7C15;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    value = z ^ (z >> 31);
  }
  return table;
}

constexpr std::array<uint64_t, 256> kGear = MakeGearTable();

// The top `bits` bits: they depend on the last 64 bytes hashed, the low
// ones on fewer.
constexpr uint64_t TopBits(uint32_t bits) { return bits == 0 ? 0 : ~uint64_t{0} << (64 - bits); }

}  // namespace

bool ValidChunkParams(const ChunkParams& params) {
  if (params.min < kSmallestMinChunk || params.max > kLargestMaxChunk) return false;
  if (params.avg_bits < 11 || params.avg_bits > 23) return false;
  const uint64_t average = uint64_t{1} << params.avg_bits;
  return params.min < average && average < params.max;
}

ContentChunker::ContentChunker(const ChunkParams& params)
    : params_(params), strict_mask_(TopBits(params.avg_bits + 2)), loose_mask_(TopBits(params.avg_bits - 2)) {}

ContentChunker::Scan ContentChunker::Next(std::string_view data) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  const size_t size = data.size();
  size_t i = 0;
  // The first min bytes of a chunk are skipped unhashed.
  if (length_ < params_.min) {
    const size_t skip = static_cast<size_t>(std::min<uint64_t>(params_.min - length_, size));
    length_ += skip;
    i = skip;
  }
  const uint64_t average = uint64_t{1} << params_.avg_bits;
  uint64_t hash = hash_;
  // Each phase runs to the end of its stretch or of the data, whichever comes first.
  auto run = [&](uint64_t stretch_end, uint64_t mask) {
    const size_t end = static_cast<size_t>(std::min<uint64_t>(size, i + (stretch_end - length_)));
    const size_t start = i;
    for (; i < end; ++i) {
      hash = (hash << 1) + kGear[bytes[i]];
      if ((hash & mask) == 0) {
        ++i;
        length_ += i - start;
        return true;
      }
    }
    length_ += i - start;
    return false;
  };
  bool cut = false;
  if (i < size && length_ < average) cut = run(average, strict_mask_);
  if (!cut && i < size && length_ < params_.max) cut = run(params_.max, loose_mask_);
  if (!cut && length_ == params_.max) cut = true;
  if (cut) {
    length_ = 0;
    hash_ = 0;
  } else {
    hash_ = hash;
  }
  return Scan{i, cut};
}

}  // namespace delta
