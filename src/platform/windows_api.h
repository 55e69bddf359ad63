// <windows.h> for the Windows twins of this folder, without the macros it
// defines over names the platform interface uses (DeleteFile,
// CreateDirectory, ReplaceFile, PostMessage, ...): the twins call the wide
// functions by their own names. Internal to platform, Windows only.
#pragma once

#include <windows.h>

#undef CreateDirectory
#undef DeleteFile
#undef GetMessage
#undef MessageBox
#undef PostMessage
#undef ReplaceFile

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A path or text of the program (UTF-8) as the wide calls take it, and back.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

// The errno value that stands for a Windows error code in the interface's
// results (ENOENT, EACCES, ENOSPC, EEXIST, EBUSY; EIO for the rest).
int ErrnoFromWindowsError(unsigned long error);

// ErrnoFromWindowsError of GetLastError().
int LastErrorAsErrno();

// The run-time library's descriptor for an open handle, which then owns it
// (_close closes both), so that the interface's descriptors stay ints on
// either system; -1 when none is left. And the handle of a descriptor.
int DescriptorOfHandle(HANDLE handle);
HANDLE HandleOfDescriptor(int fd);

// A file handle opened by CreateFileW on a UTF-8 path, shared for reading,
// writing and deleting as a POSIX descriptor is, and not inherited.
HANDLE OpenFileHandle(const std::string& path, DWORD access, DWORD disposition, DWORD flags = 0);

// The file's size and last-write time, from the open handle or the path.
struct FileFacts {
  bool directory = false;
  int64_t size = 0;
  int64_t unix_seconds = 0;  // last write
};
bool FactsOfPath(const std::string& path, FileFacts& facts);
bool FactsOfHandle(HANDLE handle, FileFacts& facts);

// The final path of an existing file or folder, links and junctions
// followed, as the system spells it ("\\?\C:\Games"), without a trailing
// backslash; nothing when it cannot be opened.
std::optional<std::wstring> FinalPathOf(const std::string& path);

}  // namespace platform
