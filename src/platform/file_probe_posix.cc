#include "platform/file_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/file_system.h"

namespace platform {

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

FileProbe ProbeFileForWriting(const std::string& path) {
  FileProbe probe;
  // O_NONBLOCK: a FIFO or device standing where a file should be must not
  // hang the check. No byte is written through this descriptor.
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT && errno != ENOTDIR && IsRegularFile(path)) probe.state = FileProbe::State::kBusy;
    return probe;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return probe;
  }
  close(fd);
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    probe.state = FileProbe::State::kBusy;
    return probe;
  }
  probe.state = FileProbe::State::kFree;
  probe.size = static_cast<int64_t>(info.st_size);
  probe.last_write_days = UnixTimeToDays(static_cast<int64_t>(info.st_mtim.tv_sec));
  return probe;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
  fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) throw IoError(errno);
}

ReadOnlyFile::~ReadOnlyFile() { close(fd_); }

int64_t ReadOnlyFile::Size() const {
  struct stat info;
  if (fstat(fd_, &info) != 0) throw IoError(errno);
  return static_cast<int64_t>(info.st_size);
}

std::string ReadOnlyFile::ReadAt(int64_t offset, size_t length) const {
  std::string bytes(length, '\0');
  size_t filled = 0;
  while (filled < length) {
    const ssize_t got = pread(fd_, bytes.data() + filled, length - filled, static_cast<off_t>(offset + filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw IoError(errno);
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace platform
