#include "gzip/raw_chunk_inflater.h"

#include <climits>

RawChunkInflater::RawChunkInflater() {
  // Negative window bits: raw deflate, no header or trailer of its own.
  ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
}

RawChunkInflater::~RawChunkInflater() {
  if (ready_) inflateEnd(&stream_);
}

bool RawChunkInflater::Inflate(std::string_view deflated, size_t length, std::string& out) {
  if (!ready_ || deflated.size() > UINT_MAX || length > UINT_MAX - 1) return false;
  if (inflateReset(&stream_) != Z_OK) return false;
  // One byte of room past the length, so that more output shows as such.
  out.resize(length + 1);
  stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
  stream_.avail_in = static_cast<uInt>(deflated.size());
  stream_.next_out = reinterpret_cast<Bytef*>(out.data());
  stream_.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream_, Z_SYNC_FLUSH);
  const size_t produced = out.size() - stream_.avail_out;
  out.resize(produced);
  return status == Z_OK && stream_.avail_in == 0 && produced == length;
}
