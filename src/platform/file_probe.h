// Looking at a file without changing it: whether it is free to be opened
// for reading and writing, with its size and last-write time in one go,
// and reading blocks of a file at given offsets.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct FileProbe {
  enum class State {
    kMissing,  // no regular file at the path (a folder is not a file)
    kBusy,     // a regular file that cannot be opened for reading and writing
    kFree,     // opened for reading and writing, then closed again
  };
  State state = State::kMissing;
  int64_t size = 0;               // kFree only: size in bytes
  double last_write_days = 0;     // kFree only: as LastWriteDays gives it
};

// Opens the file for reading and writing as a test only: nothing is read
// or written, so its contents and times stay as they were. A file without
// any write permission bit counts as busy even where the process could
// open it anyway (as root), the way a read-only file is refused elsewhere;
// so does an executable that is running (ETXTBSY). Never blocks on a FIFO
// or a device. Never throws.
FileProbe ProbeFileForWriting(const std::string& path);

// A file opened for reading only; closed with the object.
class ReadOnlyFile {
 public:
  // Throws EInOutError "I/O error <errno>" when the file cannot be opened.
  explicit ReadOnlyFile(const std::string& path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // Size in bytes. Throws EInOutError "I/O error <errno>" when it cannot be read.
  int64_t Size() const;
  // Up to length bytes from offset; fewer only where the file ends.
  // Throws EInOutError "I/O error <errno>" when reading fails.
  std::string ReadAt(int64_t offset, size_t length) const;

 private:
  int fd_ = -1;
};

}  // namespace platform
