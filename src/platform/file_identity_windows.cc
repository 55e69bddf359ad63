#include "platform/file_identity.h"

#include "platform/windows_api.h"

namespace platform {

namespace {

// The volume's serial number and the file's index on it.
std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

std::optional<FileIdentity> IdentityOfFile(const std::string& path) {
  // A reparse point (link) is examined as itself; a folder needs the
  // backup flag to be opened at all.
  const HANDLE handle =
      OpenFileHandle(path, 0, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const std::optional<FileIdentity> identity = IdentityOfHandle(handle);
  CloseHandle(handle);
  return identity;
}

std::optional<FileIdentity> IdentityOfOpenFile(int fd) { return IdentityOfHandle(HandleOfDescriptor(fd)); }

}  // namespace platform
