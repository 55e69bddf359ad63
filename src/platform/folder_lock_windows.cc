#include "platform/folder_lock.h"

#include <io.h>

#include <cerrno>
#include <string>

#include "platform/windows_api.h"
#include "platform/write_all.h"

namespace platform {

namespace {

constexpr int kHolderPidLooks = 50;
constexpr DWORD kHolderPidLookGapMs = 2;

// The lock covers one byte far past the file's end: a locked range cannot
// be read by others, and the holder's id at the start must stay readable.
constexpr DWORD kLockedByteHigh = 0x7fffffff;

// The decimal process id at the start of the lock file; 0 when there is none.
long ReadHolderPid(HANDLE handle) {
  char text[32] = {};
  DWORD got = 0;
  OVERLAPPED at{};
  if (!ReadFile(handle, text, sizeof text - 1, &got, &at)) return 0;
  long pid = 0;
  for (DWORD i = 0; i < got && text[i] >= '0' && text[i] <= '9' && pid < 100000000; ++i) pid = pid * 10 + (text[i] - '0');
  return pid;
}

}  // namespace

FolderLock::FolderLock(const std::string& lock_path) {
  // Not truncated on opening: the file of a holder names the holder.
  const HANDLE handle = OpenFileHandle(lock_path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (handle == INVALID_HANDLE_VALUE) {
    error_ = LastErrorAsErrno();
    return;
  }
  OVERLAPPED range{};
  range.OffsetHigh = kLockedByteHigh;
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
    if (GetLastError() == ERROR_LOCK_VIOLATION) {
      // A holder that has just locked writes its id at once: give it that
      // moment before the message goes without it.
      for (int look = 0; look < kHolderPidLooks && holder_pid_ == 0; ++look) {
        if (look > 0) Sleep(kHolderPidLookGapMs);
        holder_pid_ = ReadHolderPid(handle);
      }
    } else {
      error_ = LastErrorAsErrno();
    }
    CloseHandle(handle);
    return;
  }
  fd_ = DescriptorOfHandle(handle);
  if (fd_ < 0) {
    error_ = EMFILE;
    return;
  }
  // The id is a courtesy for the message of the run that finds the folder
  // taken; the lock does not depend on it.
  LARGE_INTEGER start{};
  if (SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) && SetEndOfFile(handle))
    (void)WriteAll(fd_, std::to_string(GetCurrentProcessId()) + "\n");
}

FolderLock::~FolderLock() {
  // Closing the handle releases the lock.
  if (fd_ >= 0) _close(fd_);
}

WholeFolderLock::WholeFolderLock(const std::string& folder, const std::string& hidden_name) {
  std::string path = folder;
  if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '/';
  path += hidden_name;
  // Shared with no one: a second opening fails while this one lasts.
  const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_SHARING_VIOLATION) error_ = LastErrorAsErrno();
    return;
  }
  held_ = true;
  handle_ = handle;
}

WholeFolderLock::~WholeFolderLock() {
  if (held_) CloseHandle(static_cast<HANDLE>(handle_));
}

}  // namespace platform
