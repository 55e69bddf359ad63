// Streaming gzip compression and decompression through zlib, in fixed-size
// blocks, so memory does not depend on file size.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"

namespace mkupdate {

// Writes one gzip member (no stored name, time stamp 0, so equal input gives
// equal output) to a new file. Errors throw, naming the file. With a
// digest, the compressed bytes written are fed to it.
class GzipFileWriter {
 public:
  GzipFileWriter(const std::string& path, int level, trust::Sha256Stream* digest = nullptr);
  ~GzipFileWriter();
  GzipFileWriter(const GzipFileWriter&) = delete;
  GzipFileWriter& operator=(const GzipFileWriter&) = delete;

  void Write(std::string_view data);
  // Ends the stream and closes the file (see OutputFile::Close).
  void Finish();
  // Bytes of compressed output so far (complete after Finish).
  int64_t compressed_size() const { return file_.written(); }

 private:
  void Deflate(std::string_view data, int flush);

  OutputFile file_;
  z_stream stream_{};
  std::vector<char> out_;
};

// Reads a file as the updater unpacks it: gzip data (one or more members)
// is decompressed, a file that does not start with the gzip signature is
// read as it is. Unlike the updater, damage is an error: Read throws
// EInOutError "<path>: damaged gzip data (<reason>)" for a bad header, a
// corrupt or truncated stream, a check value mismatch or bytes after the
// last member. With a digest, the file's bytes as stored are fed to it as
// they are read: all of them once Read has returned 0.
class PayloadReader {
 public:
  explicit PayloadReader(const std::string& path, trust::Sha256Stream* digest = nullptr);
  ~PayloadReader();
  PayloadReader(const PayloadReader&) = delete;
  PayloadReader& operator=(const PayloadReader&) = delete;

  // Up to n decompressed bytes; 0 only at the verified end.
  size_t Read(char* buffer, size_t n);
  bool compressed() const { return compressed_; }

 private:
  [[noreturn]] void Damaged(const std::string& reason);
  bool RefillInput();

  InputFile file_;
  bool compressed_ = false;
  bool finished_ = false;
  bool stream_open_ = false;
  z_stream stream_{};
  std::vector<char> in_;
  // Bytes read before the signature test, handed out first for a plain file.
  std::string plain_prefix_;
};

// True when the file starts with the gzip signature 0x1F 0x8B.
bool HasGzipSignature(const std::string& path);

}  // namespace mkupdate
