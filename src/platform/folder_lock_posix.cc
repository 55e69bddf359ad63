#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string_view>

#include "platform/write_all.h"

namespace platform {

namespace {

constexpr int kHolderPidLooks = 50;
constexpr useconds_t kHolderPidLookGapUs = 2000;

// The decimal process id at the start of the lock file; 0 when there is none.
long ReadHolderPid(int fd) {
  char text[32] = {};
  const ssize_t got = pread(fd, text, sizeof text - 1, 0);
  long pid = 0;
  for (ssize_t i = 0; i < got && text[i] >= '0' && text[i] <= '9' && pid < 100000000; ++i) pid = pid * 10 + (text[i] - '0');
  return pid;
}

}  // namespace

FolderLock::FolderLock(const std::string& lock_path) {
  // Not truncated on opening: the file of a holder names the holder.
  const int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error_ = errno;
    return;
  }
  int locked;
  do {
    locked = flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    if (errno == EWOULDBLOCK) {
      // A holder that has just locked writes its id at once: give it that
      // moment before the message goes without it.
      for (int look = 0; look < kHolderPidLooks && holder_pid_ == 0; ++look) {
        if (look > 0) usleep(kHolderPidLookGapUs);
        holder_pid_ = ReadHolderPid(fd);
      }
    } else {
      error_ = errno;
    }
    close(fd);
    return;
  }
  // The id is a courtesy for the message of the run that finds the folder
  // taken; the lock does not depend on it, so a failure to write it is
  // not one of the lock's.
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) == 0) (void)WriteAll(fd, pid);
  fd_ = fd;
}

FolderLock::~FolderLock() {
  // Closing the only descriptor releases the lock.
  if (fd_ >= 0) close(fd_);
}

WholeFolderLock::WholeFolderLock(const std::string& folder, const std::string&) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    return;
  }
  int locked;
  do {
    locked = flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    if (errno != EWOULDBLOCK) error_ = errno;
    close(fd);
    return;
  }
  held_ = true;
  handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(fd));
}

WholeFolderLock::~WholeFolderLock() {
  if (held_) close(static_cast<int>(reinterpret_cast<intptr_t>(handle_)));
}

}  // namespace platform
