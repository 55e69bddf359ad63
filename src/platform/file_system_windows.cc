#include "platform/file_system.h"

#include <io.h>

#include <cerrno>
#include <random>

#include "platform/errors.h"
#include "platform/windows_api.h"
#include "platform/write_all.h"

namespace platform {

namespace {

// 1970-01-01 as a day count since 1899-12-30.
constexpr double kUnixEpochDays = 25569.0;
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;  // 100 ns ticks from 1601

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash + 1);
}

DWORD AttributesOf(const std::string& path) { return GetFileAttributesW(WideFromUtf8(path).c_str()); }

// Closes the handle however a function ends.
struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() { CloseHandle(handle); }
};

void WriteAllOrThrow(HANDLE handle, std::string_view bytes, const std::string& temp_path) {
  const int fd = DescriptorOfHandle(handle);
  const int error = fd < 0 ? EMFILE : WriteAll(fd, bytes);
  const int flush_error = error == 0 && fd >= 0 ? FlushData(fd) : 0;
  if (fd >= 0) _close(fd);
  if (error != 0 || flush_error != 0) {
    DeleteFileW(WideFromUtf8(temp_path).c_str());
    throw IoError(error != 0 ? error : flush_error);
  }
}

// Removes the temporary files of earlier writes of `path` that never
// reached their rename (the writer was killed), so they do not pile up.
void RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::wstring pattern = WideFromUtf8(path + ".tmp-??????");
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    DeleteFileW(WideFromUtf8(folder + Utf8FromWide(found.cFileName)).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

std::string RandomSuffix() {
  static thread_local std::mt19937 random{std::random_device{}()};
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(6, 'a');
  for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
  return suffix;
}

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int64_t FileSize(const std::string& path) {
  FileFacts facts;
  if (!FactsOfPath(path, facts) || facts.directory) return -1;
  return facts.size;
}

int64_t FreeDiskSpace(const std::string& path) {
  ULARGE_INTEGER available{};
  const std::string folder = DirectoryExists(path) ? path : FolderOf(path);
  if (!GetDiskFreeSpaceExW(WideFromUtf8(folder).c_str(), &available, nullptr, nullptr)) return -1;
  return available.QuadPart > static_cast<ULONGLONG>(INT64_MAX) ? INT64_MAX
                                                                 : static_cast<int64_t>(available.QuadPart);
}

double UnixTimeToDays(int64_t unix_seconds) {
  const int64_t ticks = unix_seconds * 10000000 + kUnixEpochTicks;
  FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc_time, local_time;
  FILETIME local;
  // The zone's rule for that date, daylight saving time included.
  if (!FileTimeToSystemTime(&utc, &utc_time) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc_time, &local_time) ||
      !SystemTimeToFileTime(&local_time, &local))
    return -1;
  const int64_t local_ticks = (static_cast<int64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  const int64_t local_seconds = (local_ticks - kUnixEpochTicks) / 10000000;
  const int64_t even_seconds = local_seconds - (((local_seconds % 2) + 2) % 2);
  return kUnixEpochDays + static_cast<double>(even_seconds) / 86400.0;
}

double LastWriteDays(const std::string& path) {
  FileFacts facts;
  if (!FactsOfPath(path, facts)) return -1;
  return UnixTimeToDays(facts.unix_seconds);
}

bool DeleteFile(const std::string& path) { return DeleteFileW(WideFromUtf8(path).c_str()) != 0; }

int RemoveFileIfPresent(const std::string& path) {
  if (DirectoryExists(path)) return EISDIR;  // a folder is never removed
  if (DeleteFileW(WideFromUtf8(path).c_str())) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : ErrnoFromWindowsError(error);
}

// Windows has no execute bits: a program is one by its name.
int ReplaceFile(const std::string& from, const std::string& to, ExecuteBits /*execute*/) {
  if (DirectoryExists(to)) return EISDIR;
  if (!MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return LastErrorAsErrno();
  return 0;
}

int SetExecuteBits(const std::string& path, ExecuteBits /*execute*/, bool& changed) {
  changed = false;
  return AttributesOf(path) == INVALID_FILE_ATTRIBUTES ? LastErrorAsErrno() : 0;
}

void AppendToFile(const std::string& path, std::string_view bytes) {
  const HANDLE handle = OpenFileHandle(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  if (handle == INVALID_HANDLE_VALUE) throw EFOpenError("Cannot create file " + path);
  const int fd = DescriptorOfHandle(handle);
  const int write_error = fd < 0 ? EMFILE : WriteAll(fd, bytes);
  const int close_error = fd >= 0 && _close(fd) != 0 ? errno : 0;
  if (write_error != 0 || close_error != 0) throw IoError(write_error != 0 ? write_error : close_error);
}

void FlushFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    // A folder's names are durable once MoveFileExW's write-through
    // returns: only files are flushed here.
    const DWORD attributes = AttributesOf(path);
    bool flushed = attributes != INVALID_FILE_ATTRIBUTES;
    int error_number = flushed ? 0 : LastErrorAsErrno();
    if (flushed && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      const HANDLE handle = OpenFileHandle(path, GENERIC_WRITE, OPEN_EXISTING);
      flushed = handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
      if (!flushed) error_number = LastErrorAsErrno();
      if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    if (!flushed)
      throw EInOutError("I/O error " + std::to_string(error_number) + " flushing " + path + ": " +
                        ErrorText(error_number));
  }
}

bool CreateDirectory(const std::string& path) { return CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) != 0; }

std::string ReadWholeFile(const std::string& path) {
  const HANDLE handle = OpenFileHandle(path, GENERIC_READ, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) throw EFOpenError("Cannot open file " + path);
  HandleCloser closer{handle};
  std::string content;
  char buffer[65536];
  while (true) {
    DWORD got = 0;
    if (!ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) throw IoError(LastErrorAsErrno());
    if (got == 0) break;
    content.append(buffer, got);
  }
  return content;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  std::string temp_path;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    temp_path = path + ".tmp-" + RandomSuffix();
    handle = OpenFileHandle(temp_path, GENERIC_WRITE, CREATE_NEW);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (handle == INVALID_HANDLE_VALUE) throw EFOpenError("Cannot create file " + path);
  WriteAllOrThrow(handle, bytes, temp_path);
  if (!MoveFileExW(WideFromUtf8(temp_path).c_str(), WideFromUtf8(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const int error_number = LastErrorAsErrno();
    DeleteFileW(WideFromUtf8(temp_path).c_str());
    throw IoError(error_number);
  }
  RemoveStaleTemporaries(path);
}

std::string ExecutableFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return "";
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  // The program's paths are spelled with '/', which every call takes.
  std::string path = Utf8FromWide(buffer);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path.substr(0, path.rfind('/') + 1);
}

std::string RealFolderPath(const std::string& path) {
  if (!DirectoryExists(path)) return "";
  std::optional<std::wstring> real = FinalPathOf(path);
  if (!real) return "";
  // "\\?\C:\Games" for a folder on a drive; a share keeps its "\\?\UNC\" form.
  if (real->rfind(L"\\\\?\\", 0) == 0 && real->rfind(L"\\\\?\\UNC\\", 0) != 0) real->erase(0, 4);
  std::string folder = Utf8FromWide(*real);
  for (char& c : folder)
    if (c == '\\') c = '/';
  return folder + "/";
}

}  // namespace platform
