#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "platform/errors.h"
#include "platform/write_all.h"

namespace platform {

namespace {

// 1970-01-01 as a day count since 1899-12-30.
constexpr double kUnixEpochDays = 25569.0;

mode_t NewFileMode() {
  // umask can only be read by setting it; do it once, before any threads
  // of ours create files.
  static const mode_t mask = [] {
    const mode_t old = umask(0);
    umask(old);
    return old;
  }();
  return 0666 & ~mask;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Removes the temporary files of earlier writes of `path` that never
// reached their rename (the writer was killed), so they do not pile up.
// One that cannot be removed is left for the next save to try again: the
// save itself has succeeded.
void RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string prefix = path.substr(path.rfind('/') + 1) + ".tmp-";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
      unlink((folder + "/" + name).c_str());
  }
  closedir(dir);
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int64_t FileSize(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<int64_t>(info.st_size);
}

int64_t FreeDiskSpace(const std::string& path) {
  struct statvfs info;
  if (statvfs(path.c_str(), &info) != 0) return -1;
  const unsigned long long bytes = static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
  return bytes > static_cast<unsigned long long>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(bytes);
}

double UnixTimeToDays(int64_t unix_seconds) {
  const time_t seconds = static_cast<time_t>(unix_seconds);
  struct tm local;
  if (localtime_r(&seconds, &local) == nullptr) return -1;
  // The local wall-clock time read as if it were UTC gives the day count
  // of the local date and time.
  const int64_t local_seconds = static_cast<int64_t>(timegm(&local));
  const int64_t even_seconds = local_seconds - (((local_seconds % 2) + 2) % 2);
  return kUnixEpochDays + static_cast<double>(even_seconds) / 86400.0;
}

double LastWriteDays(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return -1;
  return UnixTimeToDays(static_cast<int64_t>(info.st_mtim.tv_sec));
}

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

int RemoveFileIfPresent(const std::string& path) {
  if (unlink(path.c_str()) == 0 || errno == ENOENT) return 0;
  return errno;
}

// Execute bits follow the read bits, so a file the player keeps private
// (no access for others) stays private once executable.
mode_t WithExecuteBits(mode_t mode, ExecuteBits execute) {
  switch (execute) {
    case ExecuteBits::kSet:
      return mode | ((mode & 0444) >> 2);
    case ExecuteBits::kCleared:
      return mode & ~static_cast<mode_t>(0111);
    case ExecuteBits::kAsReplaced:
      break;
  }
  return mode;
}

int ReplaceFile(const std::string& from, const std::string& to, ExecuteBits execute) {
  struct stat info;
  const bool replaces = stat(to.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  if (!replaces && stat(from.c_str(), &info) != 0) return errno;
  const mode_t mode = WithExecuteBits(info.st_mode & 07777, execute);
  if ((replaces || mode != (info.st_mode & 07777)) && chmod(from.c_str(), mode) != 0) return errno;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int SetExecuteBits(const std::string& path, ExecuteBits execute, bool& changed) {
  changed = false;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return errno;
  const mode_t mode = WithExecuteBits(info.st_mode & 07777, execute);
  if (mode == (info.st_mode & 07777)) return 0;
  if (chmod(path.c_str(), mode) != 0) return errno;
  changed = true;
  return 0;
}

void AppendToFile(const std::string& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) throw EFOpenError("Cannot create file " + path);
  const int write_error = WriteAll(fd, bytes);
  const int close_error = close(fd) == 0 ? 0 : errno;
  if (write_error != 0 || close_error != 0) throw IoError(write_error != 0 ? write_error : close_error);
}

void FlushFiles(const std::vector<std::string>& paths) {
  // Starting the writeback of every path first lets the disk take them as
  // one batch; the waits below then mostly find the work done. A path this
  // pass cannot open is reported by the waiting pass.
  for (const std::string& path : paths) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    // Only a hint (a folder does not take it): the fsync below is what the
    // durability rests on.
    (void)sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    close(fd);
  }
  for (const std::string& path : paths) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool flushed = fd >= 0 && fsync(fd) == 0;
    const int error_number = errno;
    if (fd >= 0) close(fd);
    if (!flushed)
      throw EInOutError("I/O error " + std::to_string(error_number) + " flushing " + path + ": " +
                        std::strerror(error_number));
  }
}

bool CreateDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

std::string ReadWholeFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError("Cannot open file " + path);
  std::string content;
  char buffer[65536];
  while (true) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error_number = errno;
      close(fd);
      throw IoError(error_number);
    }
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return content;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  std::string temp_path = path + ".tmp-XXXXXX";
  const int fd = mkostemp(temp_path.data(), O_CLOEXEC);
  if (fd < 0) throw EFOpenError("Cannot create file " + path);
  struct stat old_info;
  const mode_t mode = stat(path.c_str(), &old_info) == 0 ? (old_info.st_mode & 07777) : NewFileMode();
  int write_error = fchmod(fd, mode) == 0 ? 0 : errno;
  if (write_error == 0) write_error = WriteAll(fd, bytes);
  if (write_error == 0 && fsync(fd) != 0) write_error = errno;
  const int close_error = close(fd) == 0 ? 0 : errno;
  if (write_error != 0 || close_error != 0) {
    unlink(temp_path.c_str());
    throw IoError(write_error != 0 ? write_error : close_error);
  }
  if (rename(temp_path.c_str(), path.c_str()) != 0) {
    const int error_number = errno;
    unlink(temp_path.c_str());
    throw IoError(error_number);
  }
  RemoveStaleTemporaries(path);
  // The rename itself is durable only once the folder is flushed.
  const int folder = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool flushed = folder >= 0 && fsync(folder) == 0;
  const int error_number = errno;
  if (folder >= 0) close(folder);
  if (!flushed) throw IoError(error_number);
}

std::string ExecutableFolder() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return "";
  std::string path(buffer, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1);
}

std::string RealFolderPath(const std::string& path) {
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) == nullptr || !DirectoryExists(real)) return "";
  std::string folder = real;
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace platform
