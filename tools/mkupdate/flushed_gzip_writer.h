// Writes a gzip file that is fully flushed at the end of each chunk
// (delta/chunk_index.h, the flushed gzip form), its chunks compressed on
// worker threads. A full flush leaves the next chunk no history, so each
// chunk compresses on its own, with a raw deflate stream of its own, and
// the pieces joined in order are one gzip member: the same stream a single
// deflate with a full flush per chunk gives, only made on every core.
// Equal input gives equal output whatever the number of threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "file_io.h"

namespace mkupdate {

class FlushedGzipWriter {
 public:
  // Errors throw, naming the file. With a digest, the compressed bytes
  // written are fed to it.
  FlushedGzipWriter(const std::string& path, int level, trust::Sha256Stream* digest = nullptr);
  ~FlushedGzipWriter();
  FlushedGzipWriter(const FlushedGzipWriter&) = delete;
  FlushedGzipWriter& operator=(const FlushedGzipWriter&) = delete;

  // The next bytes of the current chunk.
  void Write(std::string_view data);
  // Ends the current chunk (one of at most 16 MiB); an empty one adds nothing.
  void EndChunk();
  // Ends the last chunk and the stream, and closes the file (see
  // OutputFile::Close). Returns each chunk's compressed length, in order:
  // the first starts after the gzip header (delta::kGzipHeaderSize bytes),
  // each next where the one before ends.
  std::vector<uint64_t> Finish();
  // Bytes written so far (all of them after Finish).
  int64_t compressed_size() const { return file_.written(); }

 private:
  struct Job {
    std::string input;
    std::string output;
    bool done = false;
  };
  void Work();
  // Writes the finished jobs at the front; with `wait`, waits for the front one first.
  void WriteFinished(bool wait);

  OutputFile file_;
  const int level_;
  uint32_t crc_ = 0;
  uint64_t size_ = 0;
  std::string current_;
  std::vector<uint64_t> lengths_;
  size_t most_in_flight_;

  std::mutex mutex_;
  std::condition_variable work_ready_;  // a job was queued, or the writer ends
  std::condition_variable job_done_;
  std::deque<std::shared_ptr<Job>> queued_;     // not yet taken by a worker
  std::deque<std::shared_ptr<Job>> in_order_;   // queued or compressing or done, not yet written
  bool stopping_ = false;
  bool failed_ = false;  // zlib refused a chunk
  std::vector<std::thread> workers_;
};

}  // namespace mkupdate
