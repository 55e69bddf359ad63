#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "trust/sha256.h"

namespace mkupdate {

namespace {
std::string Reason() { return std::strerror(errno); }
}  // namespace

InputFile::InputFile(const std::string& path, trust::Sha256Stream* digest) : path_(path), digest_(digest) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw EFOpenError("Cannot open file " + path + ": " + Reason());
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

size_t InputFile::Read(char* buffer, size_t n) {
  for (;;) {
    ssize_t got = ::read(fd_, buffer, n);
    if (got >= 0) {
      if (digest_) digest_->Update(std::string_view(buffer, static_cast<size_t>(got)));
      return static_cast<size_t>(got);
    }
    if (errno != EINTR) throw EInOutError("Cannot read " + path_ + ": " + Reason());
  }
}

void InputFile::ReadAt(int64_t offset, char* buffer, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t step = ::pread(fd_, buffer + got, n - got, offset + static_cast<int64_t>(got));
    if (step < 0 && errno == EINTR) continue;
    if (step < 0) throw EInOutError("Cannot read " + path_ + ": " + Reason());
    if (step == 0) throw EInOutError("Cannot read " + path_ + ": the file is shorter than expected");
    got += static_cast<size_t>(step);
  }
}

int64_t InputFile::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw EInOutError("Cannot examine " + path_ + ": " + Reason());
  return st.st_size;
}

OutputFile::OutputFile(const std::string& path, trust::Sha256Stream* digest)
    : path_(path), file_(path, 0644), digest_(digest) {
  if (!file_.IsOpen())
    throw EFOpenError("Cannot create file " + path + ": " + platform::ErrorText(file_.OpenError()));
}

void OutputFile::Write(std::string_view data) {
  if (digest_) digest_->Update(data);
  if (const int error = file_.Write(data); error != 0)
    throw EInOutError("Cannot write " + path_ + ": " + platform::ErrorText(error));
  written_ += static_cast<int64_t>(data.size());
}

void OutputFile::Close() {
  if (const int error = file_.Close(); error != 0)
    throw EInOutError("Cannot close " + path_ + ": " + platform::ErrorText(error));
}

void WriteNewFile(const std::string& path, std::string_view bytes, unsigned mode) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0 && errno == EEXIST) throw EFOpenError(path + " exists already; it is never overwritten");
  if (fd < 0) throw EFOpenError("Cannot create file " + path + ": " + Reason());
  std::string failure;
  while (!bytes.empty() && failure.empty()) {
    ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) failure = "Cannot write " + path + ": " + Reason();
    else bytes.remove_prefix(static_cast<size_t>(put));
  }
  if (failure.empty() && ::fsync(fd) != 0) failure = "Cannot flush " + path + " to disk: " + Reason();
  if (::close(fd) != 0 && failure.empty()) failure = "Cannot close " + path + ": " + Reason();
  if (!failure.empty()) {
    std::remove(path.c_str());  // no half-written file stays behind
    throw EInOutError(failure);
  }
}

void RenameFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0)
    throw EInOutError("Cannot rename " + from + " to " + to + ": " + Reason());
}

void SyncFileSystem(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EInOutError("Cannot open folder " + folder + ": " + Reason());
  int status = ::syncfs(fd);
  std::string reason = Reason();
  ::close(fd);
  if (status != 0) throw EInOutError("Cannot flush the files of " + folder + " to disk: " + reason);
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace mkupdate
