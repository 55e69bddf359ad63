#include "delta/chunk_index.h"

#include <cstring>

namespace delta {

namespace {

constexpr std::string_view kMagic = "CDX1";
constexpr uint64_t kLargestVarint = (uint64_t{1} << 63) - 1;
constexpr uint64_t kVarintBytes = 10;
// The header's fields after the signature, each a varint.
constexpr uint64_t kHeaderFields = 10;

void PutVarint(std::string& out, uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>(0x80 | (value & 0x7F));
    value >>= 7;
  }
  out += static_cast<char>(value);
}

// Reads the index's fields in order; the first failure is kept, and every
// later read then gives 0 without looking.
class IndexReader {
 public:
  explicit IndexReader(std::string_view bytes) : bytes_(bytes) {}

  uint64_t Varint(const char* what) {
    uint64_t value = 0;
    for (int shift = 0; ok(); shift += 7) {
      if (bytes_.empty()) return Fail(std::string("the index ends inside ") + what);
      const auto byte = static_cast<unsigned char>(bytes_.front());
      bytes_.remove_prefix(1);
      if (shift == 63 && byte > 0) return Fail(std::string(what) + " is past 2^63 - 1");
      value |= uint64_t{byte & 0x7Fu} << shift;
      if ((byte & 0x80) == 0) return value;
    }
    return 0;
  }

  void Digest(ChunkDigest& digest) {
    if (!ok()) return;
    if (bytes_.size() < digest.size()) {
      Fail("the index ends inside a chunk's digest");
      return;
    }
    std::memcpy(digest.data(), bytes_.data(), digest.size());
    bytes_.remove_prefix(digest.size());
  }

  bool Signature() {
    if (bytes_.substr(0, kMagic.size()) != kMagic) return Fail("not a chunk index (no \"CDX1\" signature)"), false;
    bytes_.remove_prefix(kMagic.size());
    return true;
  }

  uint64_t Fail(std::string reason) {
    if (reason_.empty()) reason_ = std::move(reason);
    return 0;
  }
  bool ok() const { return reason_.empty(); }
  size_t left() const { return bytes_.size(); }
  std::string& reason() { return reason_; }

 private:
  std::string_view bytes_;
  std::string reason_;
};

std::string Number(uint64_t value) { return std::to_string(value); }

// Reads the chunks of an index whose header is already in `index`.
void ReadChunks(IndexReader& in, uint64_t count, uint64_t first_served, ChunkIndex& index) {
  const bool gzip = index.form == ServedForm::kFlushedGzip;
  const ChunkParams& params = index.params;
  uint64_t offset = 0, served = first_served;
  index.chunks.resize(count);
  for (uint64_t k = 0; k < count && in.ok(); ++k) {
    IndexedChunk& chunk = index.chunks[k];
    const std::string which = "chunk " + Number(k + 1);
    chunk.length = in.Varint("a chunk's length");
    chunk.served_length = gzip ? in.Varint("a chunk's served length") : chunk.length;
    in.Digest(chunk.digest);
    if (!in.ok()) return;
    if (chunk.length == 0 || chunk.length > params.max)
      return void(in.Fail(which + " has " + Number(chunk.length) + " bytes, not 1 to " + Number(params.max)));
    if (k + 1 < count && chunk.length <= params.min)
      return void(in.Fail(which + " has " + Number(chunk.length) + " bytes, but only the last may have " +
                          Number(params.min) + " or fewer"));
    if (chunk.length > index.installed_size - offset)
      return void(in.Fail("the chunks' lengths add up to more than the installed size " +
                          Number(index.installed_size)));
    if (gzip && (chunk.served_length == 0 || chunk.served_length > ServedLengthBound(chunk.length)))
      return void(in.Fail(which + "'s served length " + Number(chunk.served_length) + " is not 1 to " +
                          Number(ServedLengthBound(chunk.length))));
    if (chunk.served_length > index.served_size - served)
      return void(in.Fail(which + "'s served bytes end past the served size " + Number(index.served_size)));
    chunk.offset = offset;
    chunk.served_offset = served;
    offset += chunk.length;
    served += chunk.served_length;
  }
  if (in.ok() && offset != index.installed_size)
    in.Fail("the chunks' lengths add up to " + Number(offset) + ", not the installed size " +
            Number(index.installed_size));
}

}  // namespace

uint64_t ServedLengthBound(uint64_t length) { return length + length / 256 + 64; }

uint64_t ChunkIndexSizeBound(uint64_t installed_size) {
  const uint64_t chunks = installed_size / (kSmallestMinChunk + 1) + 1;
  return kMagic.size() + kHeaderFields * kVarintBytes + chunks * (2 * kVarintBytes + kChunkDigestSize);
}

std::string ChunkIndexName(std::string_view remote) { return std::string(remote) + std::string(kChunkIndexSuffix); }

std::string FormatChunkIndex(const ChunkIndex& index) {
  const bool gzip = index.form == ServedForm::kFlushedGzip;
  std::string out(kMagic);
  PutVarint(out, index.chunker);
  PutVarint(out, index.params.min);
  PutVarint(out, index.params.avg_bits);
  PutVarint(out, index.params.max);
  PutVarint(out, kChunkDigestSize);
  PutVarint(out, static_cast<uint32_t>(index.form));
  PutVarint(out, index.installed_size);
  PutVarint(out, index.served_size);
  PutVarint(out, index.chunks.empty() ? (gzip ? kGzipHeaderSize : 0) : index.chunks.front().served_offset);
  PutVarint(out, index.chunks.size());
  for (const IndexedChunk& chunk : index.chunks) {
    PutVarint(out, chunk.length);
    if (gzip) PutVarint(out, chunk.served_length);
    out.append(reinterpret_cast<const char*>(chunk.digest.data()), chunk.digest.size());
  }
  return out;
}

ChunkIndexParse ParseChunkIndex(std::string_view bytes) {
  ChunkIndexParse parse;
  ChunkIndex& index = parse.index;
  IndexReader in(bytes);
  if (!in.Signature()) return {{}, std::move(in.reason())};
  const uint64_t chunker = in.Varint("the chunker id");
  index.params.min = static_cast<uint32_t>(std::min<uint64_t>(in.Varint("the minimum length"), UINT32_MAX));
  index.params.avg_bits = static_cast<uint32_t>(std::min<uint64_t>(in.Varint("the average"), UINT32_MAX));
  index.params.max = static_cast<uint32_t>(std::min<uint64_t>(in.Varint("the maximum length"), UINT32_MAX));
  const uint64_t digest_size = in.Varint("the digest size");
  const uint64_t form = in.Varint("the served form");
  index.installed_size = in.Varint("the installed size");
  index.served_size = in.Varint("the served size");
  const uint64_t first_served = in.Varint("the first served offset");
  const uint64_t count = in.Varint("the chunk count");
  if (!in.ok()) return {{}, std::move(in.reason())};
  const auto refuse = [](std::string reason) { return ChunkIndexParse{{}, std::move(reason)}; };
  if (chunker != kChunkerId) return refuse("made by chunker " + Number(chunker) + ", not " + Number(kChunkerId));
  if (!ValidChunkParams(index.params))
    return refuse("chunk lengths " + Number(index.params.min) + "/2^" + Number(index.params.avg_bits) + "/" +
                  Number(index.params.max) + " are not usable ones (min < average < max, 1 KiB to 16 MiB)");
  if (digest_size != kChunkDigestSize)
    return refuse("digests of " + Number(digest_size) + " bytes, not " + Number(kChunkDigestSize));
  if (form > static_cast<uint32_t>(ServedForm::kFlushedGzip)) return refuse("unknown served form " + Number(form));
  index.chunker = kChunkerId;
  index.form = static_cast<ServedForm>(form);
  const bool gzip = index.form == ServedForm::kFlushedGzip;
  if (!gzip && index.served_size != index.installed_size)
    return refuse("a plain served file of " + Number(index.served_size) + " bytes installs " +
                  Number(index.installed_size));
  if (gzip ? first_served < kGzipHeaderSize || first_served > index.served_size : first_served != 0)
    return refuse("the first served offset " + Number(first_served) + " is not where a chunk can start");
  const uint64_t per_chunk = (gzip ? 2 : 1) + kChunkDigestSize;
  if (count > in.left() / per_chunk) return refuse(Number(count) + " chunks cannot fit in the index's bytes");
  if (count > index.installed_size / (index.params.min + 1) + 1 ||
      count < (index.installed_size + index.params.max - 1) / index.params.max)
    return refuse(Number(count) + " chunks cannot make up " + Number(index.installed_size) + " bytes");
  ReadChunks(in, count, first_served, index);
  if (in.ok() && in.left() > 0) in.Fail(Number(in.left()) + " bytes after the last chunk");
  if (!in.ok()) return refuse(std::move(in.reason()));
  return parse;
}

}  // namespace delta
