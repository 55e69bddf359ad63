#include "platform/windows_api.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <optional>

namespace platform {

std::wstring WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr,
                      nullptr);
  return utf8;
}

int ErrnoFromWindowsError(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return EEXIST;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    default:
      return EIO;
  }
}

int LastErrorAsErrno() { return ErrnoFromWindowsError(GetLastError()); }

int DescriptorOfHandle(HANDLE handle) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) CloseHandle(handle);
  return fd;
}

HANDLE HandleOfDescriptor(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

HANDLE OpenFileHandle(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
  return CreateFileW(WideFromUtf8(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

namespace {

// 100-nanosecond ticks from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;

int64_t UnixSecondsOf(const FILETIME& time) {
  const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return (ticks - kUnixEpochTicks) / 10000000;
}

}  // namespace

bool FactsOfPath(const std::string& path, FileFacts& facts) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) return false;
  facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  facts.unix_seconds = UnixSecondsOf(data.ftLastWriteTime);
  return true;
}

bool FactsOfHandle(HANDLE handle, FileFacts& facts) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  facts.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.size = (static_cast<int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  facts.unix_seconds = UnixSecondsOf(info.ftLastWriteTime);
  return true;
}

// The final path of an existing file or folder, links and junctions
// followed, spelled as the system stores it; nothing when it cannot be
// opened.
std::optional<std::wstring> FinalPathOf(const std::string& path) {
  const HANDLE handle = OpenFileHandle(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring final_path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  if (length >= final_path.size()) {
    final_path.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  }
  CloseHandle(handle);
  if (length == 0 || length >= final_path.size()) return std::nullopt;
  final_path.resize(length);
  while (!final_path.empty() && final_path.back() == L'\\') final_path.pop_back();
  return final_path;
}

}  // namespace platform
