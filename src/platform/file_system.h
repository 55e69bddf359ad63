// File operations the updater needs, on real paths (see game_path.h for
// turning the game's Windows-style names into real paths).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True when path names an existing regular file (a folder is not a file).
bool FileExists(const std::string& path);

// True when path names an existing folder.
bool DirectoryExists(const std::string& path);

// Size in bytes of the file, or -1 when it does not exist or cannot be examined.
int64_t FileSize(const std::string& path);

// Bytes that an unprivileged program may still write on the file system
// that holds `path` (a file or folder that exists), or -1 when the system
// cannot tell.
int64_t FreeDiskSpace(const std::string& path);

// Last-write time of the file as a day count: days since 30 December 1899,
// 00:00 local time, the fraction being the time of day. The seconds are
// truncated to an even number, the two-second resolution of the file dates
// the game's reference lists carry. Returns -1 when the file is missing.
double LastWriteDays(const std::string& path);

// The day count (as LastWriteDays gives it, two-second resolution) of a
// Unix time, in the local time zone.
double UnixTimeToDays(int64_t unix_seconds);

// Removes the file. Returns false when it could not be removed (missing included).
bool DeleteFile(const std::string& path);

// Removes the file if it is there. Returns 0 when it is gone (also when it
// never was), otherwise the errno of the failure.
[[nodiscard]] int RemoveFileIfPresent(const std::string& path);

// The system's sentence for an errno value ("No such file or directory").
std::string ErrorText(int error_number);

// The suffix of a file being written to replace the file named without it:
// "<path>.updtmp" is renamed over <path> once it is complete.
inline constexpr std::string_view kPartialFileSuffix = ".updtmp";

// The partial file of path: path + kPartialFileSuffix.
std::string PartialFileOf(const std::string& path);

// What a file's execute permission bits become when it is installed.
enum class ExecuteBits {
  kAsReplaced,  // left as the other permission bits are
  kSet,         // set for everyone who may read the file
  kCleared,     // cleared for everyone
};

// Renames the file `from` over `to` in one step (both in the same folder),
// so that `to` is at every moment either its old or its new content. The
// new file takes the permission bits of the file it replaces; a new name
// keeps those of `from`. `execute` then sets or clears the execute bits
// before the rename, so the file never shows under `to` without them.
// Returns 0, or the errno when `to` cannot be replaced (a folder in its
// place, a read-only folder); `from` is then left in place.
[[nodiscard]] int ReplaceFile(const std::string& from, const std::string& to,
                              ExecuteBits execute = ExecuteBits::kAsReplaced);

// Sets or clears the execute bits of an existing file as ReplaceFile does.
// Returns 0 and sets `changed` when the bits were changed, 0 alone when
// they were right already, or the errno when the file cannot be examined
// or changed.
[[nodiscard]] int SetExecuteBits(const std::string& path, ExecuteBits execute, bool& changed);

// Appends bytes to the file, creating it when missing. Throws EFOpenError
// "Cannot create file <path>" when it cannot be opened, EInOutError
// "I/O error <errno>" when writing fails. Not flushed to disk.
void AppendToFile(const std::string& path, std::string_view bytes);

// Makes each path (a file or a folder) durable, so that a file's data, or
// the names a folder holds, survive a power cut: writeback is started for
// all of them first and then waited for one by one, which costs about one
// disk flush for the whole batch instead of one per path. Throws
// EInOutError "I/O error <errno> flushing <path>: <reason>" at the first
// path that cannot be flushed (a missing one included).
void FlushFiles(const std::vector<std::string>& paths);

// Creates one folder (its parent must exist). Returns false when it could
// not be created, also when it already exists, as the Windows call does.
bool CreateDirectory(const std::string& path);

// Whole content of the file. Throws EFOpenError "Cannot open file <path>"
// when it cannot be opened, EInOutError "I/O error <errno>" when reading fails.
std::string ReadWholeFile(const std::string& path);

// Replaces the file with bytes so that a crash or power cut leaves either
// the old or the new content, never a mix: the bytes go to a temporary file
// in the same folder, which is flushed to disk and renamed over path. An
// existing file keeps its permission bits. Throws EFOpenError "Cannot create
// file <path>" when the temporary file cannot be created, EInOutError
// "I/O error <errno>" when writing, flushing or renaming fails; the old file
// is then untouched and the temporary file removed. Also EInOutError when
// the folder cannot be flushed after the rename: the new content is then
// in place but its name may not survive a power cut.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Folder of the running executable, ending in '/'; "" when the system
// cannot tell.
std::string ExecutableFolder();

// The absolute path of the existing folder `path` names, links resolved,
// ending in '/' (and spelled with '/' on Windows too); "" when path names
// no folder.
std::string RealFolderPath(const std::string& path);

}  // namespace platform
