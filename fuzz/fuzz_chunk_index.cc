// The chunk index parser, which reads an index fetched from a mirror
// before its digest is checked: whatever the bytes, an accepted index has
// chunks that tile the installed file within their limits and served
// ranges inside the served file, and writing it again gives the same
// index back.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "delta/chunk_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const delta::ChunkIndexParse parse = delta::ParseChunkIndex(bytes);
  if (!parse.Valid()) return 0;
  const delta::ChunkIndex& index = parse.index;
  uint64_t offset = 0;
  for (const delta::IndexedChunk& chunk : index.chunks) {
    if (chunk.offset != offset || chunk.length == 0 || chunk.length > index.params.max) abort();
    if (chunk.served_offset > index.served_size || chunk.served_length > index.served_size - chunk.served_offset)
      abort();
    offset += chunk.length;
  }
  if (offset != index.installed_size || size > delta::ChunkIndexSizeBound(index.installed_size)) abort();
  const delta::ChunkIndexParse again = delta::ParseChunkIndex(delta::FormatChunkIndex(index));
  if (!again.Valid() || !(again.index == index)) abort();
  return 0;
}
