// One run at a time in a game folder: an exclusive lock on a lock file in
// it, held as long as the object lives (and by the kernel no longer than
// the process: a killed run leaves the file, never the lock).
#pragma once

#include <string>

namespace platform {

class FolderLock {
 public:
  // Tries once, without waiting, to lock the file at `lock_path` (a real
  // path), creating it when missing. Once locked, the file holds this
  // process's id and one line end. Never inherited by programs started
  // later. Check Held().
  explicit FolderLock(const std::string& lock_path);
  // Releases the lock; the file stays.
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // True when this object holds the lock.
  bool Held() const { return fd_ >= 0; }
  // When another holds it: the process id its file names, 0 when it names
  // none yet (the holder writes it just after locking).
  long HolderPid() const { return holder_pid_; }
  // When the lock is neither held here nor by another (the file cannot be
  // created or locked): the errno of the failure; 0 otherwise.
  int Error() const { return error_; }

 private:
  int fd_ = -1;
  long holder_pid_ = 0;
  int error_ = 0;
};

// An exclusive lock of a whole folder that leaves no file behind in it, for
// a folder whose listing others read (a server's): on POSIX the folder
// itself is locked; on Windows, which cannot lock a folder, a hidden file
// `hidden_name` in it is held open unshared and vanishes when closed (also
// when the process is killed). Tried once, without waiting; check Held().
class WholeFolderLock {
 public:
  WholeFolderLock(const std::string& folder, const std::string& hidden_name);
  ~WholeFolderLock();
  WholeFolderLock(const WholeFolderLock&) = delete;
  WholeFolderLock& operator=(const WholeFolderLock&) = delete;

  bool Held() const { return held_; }
  // When not held: 0 when another holds the lock, else the errno of the failure.
  int Error() const { return error_; }

 private:
  bool held_ = false;
  int error_ = 0;
  void* handle_ = nullptr;  // the folder's descriptor, or the Windows file handle
};

}  // namespace platform
