// Content-defined chunking (FastCDC: a gear rolling hash with normalised
// chunking) of a stream of bytes. A chunk ends where the hash of the last
// 64 bytes meets a mask, so the same bytes give the same boundaries
// wherever they stand in a file: an insertion or a deletion changes only
// the chunks around it, and the chunks after it are found again once a
// boundary is met behind the edit.
//
// Between `min` and the average (2^avg_bits) a boundary needs avg_bits + 2
// zero bits, past the average avg_bits - 2 (normalisation level 2), which
// gathers chunk lengths near the average; a chunk of `max` bytes ends
// there whatever its content. The first `min` bytes of a chunk are not
// hashed at all, which is where most of the speed comes from. The gear
// table is fixed (kChunkerId names it): the publisher and the updater
// must find the same boundaries, so any change to the table or to the
// rules here is a new chunker id, never an edit of this one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace delta {

// The chunking rules of kChunkerId; 1 is the only one so far.
inline constexpr uint32_t kChunkerId = 1;

struct ChunkParams {
  uint32_t min = 0;       // no chunk but a file's last is shorter than min + 1
  uint32_t avg_bits = 0;  // the target average is 2^avg_bits
  uint32_t max = 0;       // no chunk is longer
  bool operator==(const ChunkParams&) const = default;
};

// What the publisher uses: 8 KiB / 32 KiB / 128 KiB. Measured on a 1 GiB
// archive of alternate 4 MiB stretches of random and text-like bytes,
// changed by 50 scattered 4 KiB edits, a 1 MiB insertion and a 1 MiB
// deletion (average, index per GiB, bytes of changed chunks, cost of the
// gzip flushes on the served file):
//   64 KiB: 0.03 % index, 6.3 MB changed, flushes +2.1 %
//   32 KiB: 0.06 % index, 3.9 MB changed, flushes +3.8 %
//   16 KiB: 0.12 % index, 2.7 MB changed, flushes +6.5 %
// 32 KiB fetches a third less than 64 KiB for such a patch; 16 KiB saves
// little more once its doubled index is counted, and its flushes cost
// more of the served set than a patch saves.
inline constexpr ChunkParams kDefaultChunkParams{8 * 1024, 15, 128 * 1024};

// What the publisher uses for files served as they are ("O"), which pay
// no flush per chunk: 4 KiB / 16 KiB / 64 KiB. Only the index's size
// weighs against smaller chunks there; for the same 1 GiB and patch, a
// patch over HTTP fetched (index included) 4.7 MB with 32 KiB and about
// a quarter less with 16 KiB, and 8 KiB's doubled index costs more than
// its smaller chunks save.
inline constexpr ChunkParams kPlainChunkParams{4 * 1024, 14, 64 * 1024};

// The bounds any index's parameters must keep (ValidChunkParams): below
// 1 KiB a chunk's index entry and its fetch cost more than they save;
// above 16 MiB a chunk is too large to hold in memory while it is checked.
inline constexpr uint32_t kSmallestMinChunk = 1024;
inline constexpr uint32_t kLargestMaxChunk = 16 * 1024 * 1024;

// True when min >= kSmallestMinChunk, max <= kLargestMaxChunk and
// min < 2^avg_bits < max.
bool ValidChunkParams(const ChunkParams& params);

// Finds the boundaries of a stream fed in pieces of any size. Not thread-safe;
// one per stream.
class ContentChunker {
 public:
  // params must be ValidChunkParams.
  explicit ContentChunker(const ChunkParams& params);

  struct Scan {
    size_t length = 0;        // bytes of the piece that belong to the current chunk
    bool ends_chunk = false;  // the current chunk ends after them
  };
  // Looks at the next bytes of the stream: the first `length` bytes of
  // `data` continue the current chunk, and when ends_chunk is set it ends
  // after them (the next call starts a new chunk with the rest). Without
  // a boundary, length is data.size(). A stream's last chunk ends with the
  // stream, which only the caller knows (see Split).
  Scan Next(std::string_view data);

  // Feeds `data` through Next and calls on_piece(piece, ends_chunk) for
  // each run of bytes of one chunk, in order.
  template <typename OnPiece>
  void Split(std::string_view data, OnPiece&& on_piece) {
    while (!data.empty()) {
      const Scan scan = Next(data);
      on_piece(data.substr(0, scan.length), scan.ends_chunk);
      data.remove_prefix(scan.length);
    }
  }

  // Bytes of the current chunk so far: the stream's last chunk at its end.
  uint64_t pending() const { return length_; }
  const ChunkParams& params() const { return params_; }

 private:
  ChunkParams params_;
  uint64_t strict_mask_;  // before the average
  uint64_t loose_mask_;   // after it
  uint64_t length_ = 0;   // of the current chunk so far
  uint64_t hash_ = 0;
};

}  // namespace delta
