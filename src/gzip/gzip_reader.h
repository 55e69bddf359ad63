// Reading a gzip file as a stream of decoded bytes, the way the updater's
// unpacking expects: data that is not gzip is read unchanged, members
// stored one after the other are decoded one after the other, and every
// member's trailer is checked.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_stream.h"

class GzipReader {
 public:
  GzipReader();
  ~GzipReader();
  GzipReader(const GzipReader&) = delete;
  GzipReader& operator=(const GzipReader&) = delete;

  // Opens the file at `path` for reading (close-on-exec). False when it
  // does not exist, is a folder, or cannot be opened.
  [[nodiscard]] bool Open(const std::string& path);

  // Decodes up to `size` bytes into `buffer`. Returns the count produced,
  // 0 at the end of the data, or -1 once an error has stopped the stream.
  // Bytes decoded before an error are returned first; the error shows on
  // the next call. Errors: a header with a method other than deflate or
  // with reserved flag bits set, damaged data, a CRC-32 or length mismatch
  // in a trailer, a member cut short, a failed read. Bytes after the last
  // member that do not begin another member are ignored.
  [[nodiscard]] int Read(char* buffer, int size);

  // Bytes of the file consumed so far.
  std::uint64_t Offset() const;

  // Closes the file. Returns false when the stream stopped on an error
  // (also when Read never reported it because the caller stopped first).
  [[nodiscard]] bool Close();

 private:
  enum class Mode { kUnknown, kCopy, kGzip, kEnd };

  // Moves unread input to the front and reads more behind it. Returns
  // false on a read error; sets at_eof_ at the end of the file.
  bool Fill();
  // Reads until at least `count` unread bytes are buffered or the file ends.
  bool Want(std::size_t count);
  bool StartsMember() const;
  int ReadCopy(char* buffer, int size);
  int ReadGzip(char* buffer, int size);

  std::optional<platform::InputFile> file_;
  std::unique_ptr<unsigned char[]> input_;
  z_stream stream_{};
  bool inflate_ready_ = false;
  Mode mode_ = Mode::kUnknown;
  bool failed_ = false;
  bool at_eof_ = false;
  std::uint64_t bytes_read_ = 0;
};
