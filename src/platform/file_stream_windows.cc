#include "platform/file_stream.h"

#include <io.h>

#include <cerrno>

#include "platform/flush_behind.h"
#include "platform/windows_api.h"
#include "platform/write_all.h"

namespace platform {

namespace {

// The most one WriteFile or ReadFile call is handed.
constexpr size_t kSlice = 1 << 20;

int OpenDescriptor(const std::string& path, DWORD access, DWORD disposition, int& error) {
  const HANDLE handle = OpenFileHandle(path, access, disposition);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastErrorAsErrno();
    return -1;
  }
  const int fd = DescriptorOfHandle(handle);
  if (fd < 0) error = EMFILE;
  return fd;
}

// Reads at the handle's position, or at `offset` when given, without
// moving the position then. Returns the byte count, 0 at the end, -1 on a
// failure.
long ReadSome(HANDLE handle, char* buffer, size_t size, const uint64_t* offset) {
  DWORD got = 0;
  OVERLAPPED at{};
  if (offset != nullptr) {
    at.Offset = static_cast<DWORD>(*offset);
    at.OffsetHigh = static_cast<DWORD>(*offset >> 32);
  }
  const DWORD wanted = static_cast<DWORD>(size < kSlice ? size : kSlice);
  if (!ReadFile(handle, buffer, wanted, &got, offset != nullptr ? &at : nullptr))
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return static_cast<long>(got);
}

}  // namespace

int WriteAll(int fd, std::string_view bytes) {
  const HANDLE handle = HandleOfDescriptor(fd);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(bytes.size() < kSlice ? bytes.size() : kSlice);
    if (!WriteFile(handle, bytes.data(), piece, &written, nullptr)) return LastErrorAsErrno();
    if (written == 0) return ENOSPC;
    bytes.remove_prefix(written);
  }
  return 0;
}

int FlushData(int fd) { return FlushFileBuffers(HandleOfDescriptor(fd)) ? 0 : LastErrorAsErrno(); }

InputFile::InputFile(const std::string& path) { fd_ = OpenDescriptor(path, GENERIC_READ, OPEN_EXISTING, open_error_); }

InputFile::~InputFile() {
  if (fd_ >= 0) _close(fd_);
}

size_t InputFile::Read(char* buffer, size_t size) {
  size_t done = 0;
  while (done < size && !failed_) {
    const long got = ReadSome(HandleOfDescriptor(fd_), buffer + done, size - done, nullptr);
    if (got < 0) failed_ = true;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t InputFile::ReadAt(uint64_t offset, char* buffer, size_t size) {
  // A positioned ReadFile moves the handle's position: keep it for Read.
  const HANDLE handle = HandleOfDescriptor(fd_);
  LARGE_INTEGER position{}, zero{};
  if (!SetFilePointerEx(handle, zero, &position, FILE_CURRENT)) {
    failed_ = true;
    return 0;
  }
  size_t done = 0;
  while (done < size && !failed_) {
    const uint64_t at = offset + done;
    const long got = ReadSome(handle, buffer + done, size - done, &at);
    if (got < 0) failed_ = true;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN)) failed_ = true;
  return done;
}

// Windows keeps no permission bits beyond read-only, and the updater's
// files are never made read-only, so `mode` has no counterpart here.
OutputFile::OutputFile(const std::string& path, unsigned /*mode*/, bool append) {
  fd_ = OpenDescriptor(path, GENERIC_WRITE, append ? OPEN_ALWAYS : CREATE_ALWAYS, open_error_);
  if (fd_ >= 0 && append) {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(HandleOfDescriptor(fd_), zero, nullptr, FILE_END)) {
      open_error_ = LastErrorAsErrno();
      _close(fd_);
      fd_ = -1;
    }
  }
}

OutputFile::OutputFile(const std::string& path, ContinueAfter keep) {
  fd_ = OpenDescriptor(path, GENERIC_WRITE, OPEN_EXISTING, open_error_);
  if (fd_ < 0) return;
  const HANDLE handle = HandleOfDescriptor(fd_);
  LARGE_INTEGER kept{};
  kept.QuadPart = static_cast<LONGLONG>(keep.bytes);
  if (!SetFilePointerEx(handle, kept, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
    open_error_ = LastErrorAsErrno();
    _close(fd_);
    fd_ = -1;
    return;
  }
  written_ = keep.bytes;
}

int OutputFile::Write(std::string_view bytes) {
  if (const int error = WriteAll(fd_, bytes); error != 0) return error;
  written_ += bytes.size();
  return flush_behind_ ? flush_behind_->Written(written_) : 0;
}

int OutputFile::Close() {
  if (fd_ < 0) return 0;
  const int flush_error = flush_behind_ ? flush_behind_->Finish() : 0;
  flush_behind_.reset();
  const int fd = fd_;
  fd_ = -1;
  const int close_error = _close(fd) == 0 ? 0 : errno;
  return flush_error != 0 ? flush_error : close_error;
}

}  // namespace platform
