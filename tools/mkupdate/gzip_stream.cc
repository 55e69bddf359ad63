#include "gzip_stream.h"

#include <cstring>

#include "platform/errors.h"

namespace mkupdate {

namespace {
constexpr int kGzipWindowBits = 15 + 16;  // deflate window 32 KiB, gzip wrapper
}

GzipFileWriter::GzipFileWriter(const std::string& path, int level, trust::Sha256Stream* digest)
    : file_(path, digest), out_(kStreamBlock) {
  if (deflateInit2(&stream_, level, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw Exception("Cannot start compressing " + path + ": out of memory");
}

GzipFileWriter::~GzipFileWriter() { deflateEnd(&stream_); }

void GzipFileWriter::Deflate(std::string_view data, int flush) {
  stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream_.avail_in = static_cast<uInt>(data.size());
  int status;
  do {
    stream_.next_out = reinterpret_cast<Bytef*>(out_.data());
    stream_.avail_out = static_cast<uInt>(out_.size());
    status = deflate(&stream_, flush);
    if (status == Z_STREAM_ERROR) throw Exception("zlib refused to compress");
    file_.Write(std::string_view(out_.data(), out_.size() - stream_.avail_out));
  } while (stream_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
}

void GzipFileWriter::Write(std::string_view data) {
  // zlib counts in 32-bit units; large pieces go in slices.
  while (!data.empty()) {
    std::string_view slice = data.substr(0, 1u << 30);
    Deflate(slice, Z_NO_FLUSH);
    data.remove_prefix(slice.size());
  }
}

void GzipFileWriter::Finish() {
  Deflate({}, Z_FINISH);
  file_.Close();
}

PayloadReader::PayloadReader(const std::string& path, trust::Sha256Stream* digest)
    : file_(path, digest), in_(kStreamBlock) {
  char head[2];
  size_t got = detail::ReadFull(file_, head, 2);
  compressed_ = got == 2 && static_cast<unsigned char>(head[0]) == 0x1F &&
                static_cast<unsigned char>(head[1]) == 0x8B;
  if (!compressed_) {
    plain_prefix_.assign(head, got);
    return;
  }
  if (inflateInit2(&stream_, kGzipWindowBits) != Z_OK) throw Exception("Cannot start decompressing " + path);
  stream_open_ = true;
  std::memcpy(in_.data(), head, 2);
  stream_.next_in = reinterpret_cast<Bytef*>(in_.data());
  stream_.avail_in = 2;
}

PayloadReader::~PayloadReader() {
  if (stream_open_) inflateEnd(&stream_);
}

void PayloadReader::Damaged(const std::string& reason) {
  throw EInOutError(file_.path() + ": damaged gzip data (" + reason + ")");
}

bool PayloadReader::RefillInput() {
  if (stream_.avail_in > 0) return true;
  size_t got = file_.Read(in_.data(), in_.size());
  stream_.next_in = reinterpret_cast<Bytef*>(in_.data());
  stream_.avail_in = static_cast<uInt>(got);
  return got > 0;
}

size_t PayloadReader::Read(char* buffer, size_t n) {
  if (!compressed_) {
    if (!plain_prefix_.empty()) {
      size_t take = std::min(n, plain_prefix_.size());
      std::memcpy(buffer, plain_prefix_.data(), take);
      plain_prefix_.erase(0, take);
      return take;
    }
    return file_.Read(buffer, n);
  }
  if (finished_ || n == 0) return 0;
  stream_.next_out = reinterpret_cast<Bytef*>(buffer);
  stream_.avail_out = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
  while (stream_.avail_out == static_cast<uInt>(std::min<size_t>(n, 1u << 30))) {
    if (!RefillInput()) Damaged("the file ends inside the compressed data");
    int status = inflate(&stream_, Z_NO_FLUSH);
    if (status == Z_STREAM_END) {
      // Another member may follow; anything else after the data is an error.
      bool more = RefillInput();
      if (!more) {
        finished_ = true;
        break;
      }
      if (stream_.avail_in >= 1 && static_cast<unsigned char>(stream_.next_in[0]) != 0x1F)
        Damaged("unexpected bytes after the compressed data");
      inflateReset(&stream_);
      continue;
    }
    if (status == Z_DATA_ERROR) Damaged(stream_.msg ? stream_.msg : "invalid data");
    if (status == Z_MEM_ERROR) throw Exception("Out of memory decompressing " + file_.path());
    if (status == Z_BUF_ERROR && stream_.avail_in > 0) Damaged("no progress");
  }
  return static_cast<size_t>(std::min<size_t>(n, 1u << 30) - stream_.avail_out);
}

bool HasGzipSignature(const std::string& path) {
  InputFile file(path);
  char head[2];
  return detail::ReadFull(file, head, 2) == 2 && static_cast<unsigned char>(head[0]) == 0x1F &&
         static_cast<unsigned char>(head[1]) == 0x8B;
}

}  // namespace mkupdate
