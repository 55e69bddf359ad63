#include "platform/file_probe.h"

#include <io.h>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/windows_api.h"

namespace platform {

FileProbe ProbeFileForWriting(const std::string& path) {
  FileProbe probe;
  // Not shared for writing: a file another program has open to write (a
  // running game holding its data) counts as busy, as on Windows the
  // install could not replace it either.
  const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && FileExists(path))
      probe.state = FileProbe::State::kBusy;
    return probe;
  }
  FileFacts facts;
  const bool known = FactsOfHandle(handle, facts);
  CloseHandle(handle);
  if (!known || facts.directory) return probe;
  probe.state = FileProbe::State::kFree;
  probe.size = facts.size;
  probe.last_write_days = UnixTimeToDays(facts.unix_seconds);
  return probe;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
  const HANDLE handle = OpenFileHandle(path, GENERIC_READ, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) throw IoError(LastErrorAsErrno());
  fd_ = DescriptorOfHandle(handle);
  if (fd_ < 0) throw IoError(EMFILE);
}

ReadOnlyFile::~ReadOnlyFile() { _close(fd_); }

int64_t ReadOnlyFile::Size() const {
  FileFacts facts;
  if (!FactsOfHandle(HandleOfDescriptor(fd_), facts)) throw IoError(LastErrorAsErrno());
  return facts.size;
}

std::string ReadOnlyFile::ReadAt(int64_t offset, size_t length) const {
  std::string bytes(length, '\0');
  size_t filled = 0;
  while (filled < length) {
    OVERLAPPED at{};
    const uint64_t position = static_cast<uint64_t>(offset) + filled;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const size_t rest = length - filled;
    DWORD got = 0;
    if (!ReadFile(HandleOfDescriptor(fd_), bytes.data() + filled, static_cast<DWORD>(rest < (1u << 20) ? rest : 1u << 20),
                  &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      throw IoError(LastErrorAsErrno());
    }
    if (got == 0) break;
    filled += got;
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace platform
