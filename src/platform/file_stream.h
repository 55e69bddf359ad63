// Reading a file from start to end, and writing a new one: unbuffered (the
// caller's block is the only buffer), and never inherited by programs
// started later (close-on-exec).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_identity.h"

namespace platform {

class FlushBehind;

class InputFile {
 public:
  // Opens `path` (a real path) for reading. Check IsOpen().
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // The errno of the failed opening; 0 when the file was opened.
  int OpenError() const { return open_error_; }
  // Reads the next bytes into buffer, up to `size`: fewer only where the
  // file ends or a read fails, which Failed() then tells.
  [[nodiscard]] size_t Read(char* buffer, size_t size);
  // Reads up to `size` bytes at `offset` into buffer without moving the
  // position Read goes on from; fewer as for Read.
  [[nodiscard]] size_t ReadAt(uint64_t offset, char* buffer, size_t size);
  bool Failed() const { return failed_; }

 private:
  int fd_ = -1;
  int open_error_ = 0;
  bool failed_ = false;
};

class OutputFile {
 public:
  // Creates or truncates `path` (a real path) with the permission bits
  // `mode` less the process's umask; with `append`, an existing file keeps
  // its bytes and writes go after them. A symbolic link at `path` is never
  // written through: the file is not opened then (ELOOP), since the updater
  // writes only under names of its own and renames them into place. Check
  // IsOpen(); OpenError() says why not.
  explicit OutputFile(const std::string& path, unsigned mode = 0666, bool append = false);
  // Opens the existing file at `path` to go on writing it after its first
  // `keep.bytes` bytes, dropping any after them. Not opened (OpenError())
  // when there is no file at `path`, or a link.
  struct ContinueAfter {
    uint64_t bytes = 0;
  };
  OutputFile(const std::string& path, ContinueAfter keep);
  // Closes the file if Close has not; a failure then goes unreported.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // The errno of the failed creation; 0 when the file was created.
  int OpenError() const { return open_error_; }
  // The file being written (it stays that file when its path is later
  // given to another); nullopt when not open.
  std::optional<FileIdentity> Identity() const;
  // For a file that is flushed to disk once it is whole: what is written
  // from now on is flushed while the writing goes on (see FlushBehind). A
  // failure of those flushes is the next Write's, or Close's.
  void FlushWhileWriting();

  // Writes all of `bytes` at the current end, retrying interrupted and
  // partial writes. Returns 0, or the errno of the failure (ENOSPC when
  // the system takes no byte at all); part of `bytes` may have been
  // written by then.
  [[nodiscard]] int Write(std::string_view bytes);
  // Closes the file. Returns 0, or the errno of the failure (data the
  // system could not keep included); 0 when already closed.
  [[nodiscard]] int Close();

 private:
  int fd_ = -1;
  int open_error_ = 0;
  uint64_t written_ = 0;
  std::unique_ptr<FlushBehind> flush_behind_;
};

}  // namespace platform
