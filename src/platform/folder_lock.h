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

}  // namespace platform
