// Plain file reading and writing for the publisher's tool: every failure
// throws an Exception whose text names the file and the system's reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_stream.h"

namespace trust {
class Sha256Stream;
}

namespace mkupdate {

// Block size for every streamed copy, compression and comparison.
inline constexpr size_t kStreamBlock = 256 * 1024;

// A file opened for reading. Throws EFOpenError "Cannot open file <path>: <reason>".
// With a digest, every byte Read returns is also fed to it (ReadAt's are not).
class InputFile {
 public:
  explicit InputFile(const std::string& path, trust::Sha256Stream* digest = nullptr);
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Reads up to n bytes; returns 0 only at the end of the file. Throws
  // EInOutError naming the file when reading fails.
  size_t Read(char* buffer, size_t n);
  // Reads exactly n bytes at offset; throws EInOutError when the file is shorter.
  void ReadAt(int64_t offset, char* buffer, size_t n);
  int64_t Size() const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  platform::InputFile file_;
  trust::Sha256Stream* digest_;
};

// A new file (created or truncated) for writing. Throws EFOpenError
// "Cannot create file <path>: <reason>". Destroying it without Close()
// leaves a partial file; callers write to temporary names. With a digest,
// every byte written is also fed to it.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path, trust::Sha256Stream* digest = nullptr);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Writes all of data; throws EInOutError naming the file on failure (disk full included).
  void Write(std::string_view data);
  // Closes; throws EInOutError on failure. The data reaches the disk at the
  // latest with SyncFileSystem, which the publish calls once for all files
  // before renaming them into place (one call instead of one per file).
  void Close();
  int64_t written() const { return written_; }

 private:
  std::string path_;
  platform::OutputFile file_;
  int64_t written_ = 0;
  trust::Sha256Stream* digest_;
};

// Creates the file with bytes and the permission bits mode, flushed to
// disk; never replaces a file. Throws EFOpenError "<path> exists already;
// it is never overwritten" when there is one, EFOpenError or EInOutError
// with the system's reason for other failures (a partial file is removed).
void WriteNewFile(const std::string& path, std::string_view bytes, unsigned mode);

// Renames from over to (same file system). Throws EInOutError naming both.
void RenameFile(const std::string& from, const std::string& to);

// Flushes the files to disk, all in one batch. Throws EInOutError naming
// the first that cannot be flushed.
void SyncFiles(const std::vector<std::string>& paths);

// Makes the renames inside folder durable. Failures are ignored on purpose:
// some file systems do not support syncing a folder.
void SyncFolder(const std::string& folder);

// Compares the whole content of two readers block by block; true when equal.
// Reader is any type with size_t Read(char*, size_t).
template <typename ReaderA, typename ReaderB>
bool SameContent(ReaderA& a, ReaderB& b);

}  // namespace mkupdate

#include "file_io_inl.h"
