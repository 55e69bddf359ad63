// The chunk index of a served file: how the installed file it installs is
// cut into content-defined chunks (content_chunker.h), a digest of each
// chunk, and which byte range of the served file holds each chunk's bytes,
// so that an updater holding an older copy fetches only the chunks it
// lacks. The publisher writes it beside the served file under
// ChunkIndexName(remote name); the server list carries its SHA-256 in the
// entry's delta index field (lists/digest_fields.h), which authenticates
// it once it is fetched. Until then it is a mirror's word: the parser
// takes any bytes and holds every bound before the digest is checked.
//
// The format ("varint": unsigned LEB128, 7 bits a byte, low bits first,
// at most 10 bytes and at most 2^63 - 1):
//
//   "CDX1"               4 bytes
//   chunker id           varint  kChunkerId
//   min, avg_bits, max   varints ChunkParams (ValidChunkParams)
//   digest size          varint  kChunkDigestSize
//   served form          varint  0 plain, 1 flushed gzip (ServedForm)
//   installed size       varint  bytes of the installed file
//   served size          varint  bytes of the served file (field 5)
//   first served offset  varint  where chunk 1's served bytes start
//   chunk count          varint
//   per chunk, in file order:
//     length             varint  bytes in the installed file
//     served length      varint  flushed gzip only
//     digest             kChunkDigestSize bytes
//
// and nothing after the last chunk. Chunk k starts in the installed file
// where chunk k-1 ends (the first at 0), and its served bytes likewise
// follow chunk k-1's (the first at the first served offset).
//
// Served forms:
// - plain ("O" entries): the served file is the installed file; each
//   chunk's served range is its own range, and the first served offset 0.
// - flushed gzip ("E" entries): the served file is one gzip member whose
//   deflate stream was fully flushed (Z_FULL_FLUSH) after each chunk. A
//   chunk's served range is then whole deflate blocks that start on a byte
//   boundary with no history before them: inflated alone with a raw
//   inflater (zlib windowBits -15) it gives exactly the chunk's bytes. The
//   range has no final block, so such an inflate ends with all its input
//   used and no stream end. The first served offset is the gzip header's
//   length; after the last chunk come the empty final block and the gzip
//   trailer. The file stays one ordinary gzip file for updaters that
//   fetch it whole.
//
// The digest is the first kChunkDigestSize bytes of the chunk's SHA-256.
// 128 bits keep a fetched chunk's check sound on its own (a second
// preimage costs 2^128) and two different chunks of a file from sharing
// a digest by chance; the installed file's own SHA-256 (field 7) still
// judges the assembled file, as every install does. A full digest would
// grow the index by half for nothing a player could notice.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delta/content_chunker.h"

namespace delta {

inline constexpr size_t kChunkDigestSize = 16;
using ChunkDigest = std::array<unsigned char, kChunkDigestSize>;

enum class ServedForm : uint32_t { kPlain = 0, kFlushedGzip = 1 };

// The length of the gzip header the publisher writes (no name, no time):
// the first served offset of its flushed gzip files.
inline constexpr uint64_t kGzipHeaderSize = 10;

struct IndexedChunk {
  uint64_t offset = 0;         // in the installed file
  uint64_t length = 0;
  uint64_t served_offset = 0;  // in the served file
  uint64_t served_length = 0;
  ChunkDigest digest{};
  bool operator==(const IndexedChunk&) const = default;
};

struct ChunkIndex {
  uint32_t chunker = kChunkerId;
  ChunkParams params = kDefaultChunkParams;
  ServedForm form = ServedForm::kPlain;
  uint64_t installed_size = 0;
  uint64_t served_size = 0;
  std::vector<IndexedChunk> chunks;  // offsets filled in (see the format)
  bool operator==(const ChunkIndex&) const = default;
};

// The index's bytes. Only lengths and served lengths are written; the
// offsets are taken as the format says (the first chunk's served offset
// as the first served offset). The caller gives a consistent index: one
// that ParseChunkIndex accepts.
std::string FormatChunkIndex(const ChunkIndex& index);

struct ChunkIndexParse {
  ChunkIndex index;    // complete only when Valid
  std::string reason;  // "" for a valid index, else why it is refused
  bool Valid() const { return reason.empty(); }
};

// Reads an index. Refused, saying why: a wrong signature, another chunker
// or digest size, parameters out of ValidChunkParams, an unknown served
// form, varints that overrun the bytes or 2^63 - 1, a chunk count that
// cannot fit in the bytes left or in the installed size (more than
// installed / min + 1 chunks, fewer than installed / max), a chunk of
// length 0 or over max, a chunk other than the last of min bytes or fewer,
// lengths that do not add up to the installed size, served ranges that
// end past the served size (or, plain, a served size other than the
// installed size or a first offset other than 0; flushed gzip, a first
// offset below kGzipHeaderSize, a chunk whose served length is 0 or over
// ServedLengthBound), and bytes after the last chunk. Memory is bounded by
// the input's size.
ChunkIndexParse ParseChunkIndex(std::string_view bytes);

// The largest served length a flushed gzip chunk of `length` bytes may
// have: deflate's worst case (stored blocks) and the flush marker.
uint64_t ServedLengthBound(uint64_t length);

// The largest index a file of `installed_size` bytes can have that
// ParseChunkIndex accepts: the bound to fetch an index under.
uint64_t ChunkIndexSizeBound(uint64_t installed_size);

// The name of the index of the served file `remote`, beside it.
inline constexpr std::string_view kChunkIndexSuffix = ".cdx";
std::string ChunkIndexName(std::string_view remote);

}  // namespace delta
