#include "gzip/gzip_reader.h"

#include <cstring>
#include <filesystem>

namespace {

// Input is read in large pieces, so a big file costs few read calls; the
// decoded output still goes out in the caller's block.
constexpr std::size_t kInputSize = 256 * 1024;
// zlib's window size plus 16: inflate expects a gzip wrapper only.
constexpr int kGzipWindowBits = 15 + 16;

}  // namespace

GzipReader::GzipReader() : input_(std::make_unique<unsigned char[]>(kInputSize)) {}

GzipReader::~GzipReader() { (void)Close(); }

bool GzipReader::Open(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return false;
  file_.emplace(path);
  if (file_->IsOpen()) return true;
  file_.reset();
  return false;
}

std::uint64_t GzipReader::Offset() const { return bytes_read_ - stream_.avail_in; }

bool GzipReader::Fill() {
  if (stream_.avail_in > 0 && stream_.next_in != input_.get()) {
    std::memmove(input_.get(), stream_.next_in, stream_.avail_in);
  }
  stream_.next_in = input_.get();
  const std::size_t room = kInputSize - stream_.avail_in;
  const std::size_t count = file_->Read(reinterpret_cast<char*>(input_.get()) + stream_.avail_in, room);
  stream_.avail_in += count;
  bytes_read_ += count;
  if (count < room) {
    if (file_->Failed()) return false;
    at_eof_ = true;
  }
  return true;
}

bool GzipReader::Want(std::size_t count) {
  while (stream_.avail_in < count && !at_eof_) {
    if (!Fill()) return false;
  }
  return true;
}

bool GzipReader::StartsMember() const {
  return stream_.avail_in >= 2 && stream_.next_in[0] == 0x1F && stream_.next_in[1] == 0x8B;
}

int GzipReader::Read(char* buffer, int size) {
  if (failed_) return -1;
  if (mode_ == Mode::kUnknown) {
    if (!Want(2)) {
      failed_ = true;
      return -1;
    }
    if (StartsMember()) {
      if (inflateInit2(&stream_, kGzipWindowBits) != Z_OK) {
        failed_ = true;
        return -1;
      }
      inflate_ready_ = true;
      mode_ = Mode::kGzip;
    } else {
      mode_ = Mode::kCopy;
    }
  }
  switch (mode_) {
    case Mode::kCopy:
      return ReadCopy(buffer, size);
    case Mode::kGzip:
      return ReadGzip(buffer, size);
    default:
      return 0;
  }
}

int GzipReader::ReadCopy(char* buffer, int size) {
  if (stream_.avail_in > 0) {
    const int count = std::min<int>(size, stream_.avail_in);
    std::memcpy(buffer, stream_.next_in, count);
    stream_.next_in += count;
    stream_.avail_in -= count;
    return count;
  }
  if (at_eof_) return 0;
  const std::size_t count = file_->Read(buffer, static_cast<std::size_t>(size));
  bytes_read_ += count;
  if (count < static_cast<std::size_t>(size)) {
    if (file_->Failed()) failed_ = true;
    at_eof_ = true;
  }
  if (count == 0 && failed_) return -1;
  return static_cast<int>(count);
}

int GzipReader::ReadGzip(char* buffer, int size) {
  stream_.next_out = reinterpret_cast<Bytef*>(buffer);
  stream_.avail_out = size;
  while (stream_.avail_out > 0) {
    if (stream_.avail_in == 0) {
      if (!Fill()) {
        failed_ = true;
        break;
      }
      if (stream_.avail_in == 0) {  // the file ends inside a member
        failed_ = true;
        break;
      }
    }
    const int result = inflate(&stream_, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      // Another member follows only when its signature does; anything
      // else after a member is ignored.
      if (!Want(2)) {
        failed_ = true;
        break;
      }
      if (!StartsMember()) {
        mode_ = Mode::kEnd;
        break;
      }
      inflateReset(&stream_);
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      failed_ = true;
      break;
    }
  }
  const int produced = size - static_cast<int>(stream_.avail_out);
  if (produced == 0 && failed_) return -1;
  return produced;
}

bool GzipReader::Close() {
  if (inflate_ready_) {
    inflateEnd(&stream_);
    inflate_ready_ = false;
  }
  file_.reset();
  return !failed_;
}
