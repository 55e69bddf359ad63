#include "platform/file_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/flush_behind.h"
#include "platform/write_all.h"

namespace platform {

namespace {
// The most one write hands the system. The page cache holds a larger
// write in larger blocks of memory, which are slower to come by: a file
// written a megabyte at a time took several times as long to write as one
// written in pieces of this size.
constexpr size_t kWriteSlice = 64 << 10;
}  // namespace

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return ENOSPC;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

int FlushData(int fd) { return fdatasync(fd) == 0 ? 0 : errno; }

InputFile::InputFile(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
  if (fd_ < 0) open_error_ = errno;
}

InputFile::~InputFile() {
  // A failed close of a file only read loses nothing.
  if (fd_ >= 0) close(fd_);
}

size_t InputFile::Read(char* buffer, size_t size) {
  size_t done = 0;
  while (done < size && !failed_) {
    const ssize_t got = read(fd_, buffer + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed_ = true;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t InputFile::ReadAt(uint64_t offset, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size && !failed_) {
    const ssize_t got = pread(fd_, buffer + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed_ = true;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

OutputFile::OutputFile(const std::string& path, unsigned mode, bool append)
    : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | (append ? O_APPEND : O_TRUNC) | O_CLOEXEC,
               static_cast<mode_t>(mode))) {
  if (fd_ < 0) open_error_ = errno;
}

OutputFile::OutputFile(const std::string& path, ContinueAfter keep)
    : fd_(open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC)) {
  if (fd_ < 0) {
    open_error_ = errno;
    return;
  }
  const auto kept = static_cast<off_t>(keep.bytes);
  if (ftruncate(fd_, kept) != 0 || lseek(fd_, kept, SEEK_SET) != kept) {
    open_error_ = errno;
    close(fd_);
    fd_ = -1;
    return;
  }
  written_ = keep.bytes;
}

int OutputFile::Write(std::string_view bytes) {
  for (std::string_view rest = bytes; !rest.empty();) {
    const std::string_view piece = rest.substr(0, kWriteSlice);
    rest.remove_prefix(piece.size());
    if (const int error = WriteAll(fd_, piece); error != 0) return error;
  }
  written_ += bytes.size();
  return flush_behind_ ? flush_behind_->Written(written_) : 0;
}

int OutputFile::Close() {
  if (fd_ < 0) return 0;
  const int flush_error = flush_behind_ ? flush_behind_->Finish() : 0;
  flush_behind_.reset();
  const int fd = fd_;
  fd_ = -1;
  const int close_error = close(fd) == 0 ? 0 : errno;
  return flush_error != 0 ? flush_error : close_error;
}

}  // namespace platform
