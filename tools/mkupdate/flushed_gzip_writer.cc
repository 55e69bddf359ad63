#include "flushed_gzip_writer.h"

#include <zlib.h>

#include <algorithm>

#include "platform/errors.h"

namespace mkupdate {

namespace {

// The header zlib writes for a member without name or time, made by Unix.
std::string GzipHeader(int level) {
  const char extra_flags = level == 9 ? 2 : level == 1 ? 4 : 0;
  return std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00", 8) + extra_flags + '\x03';
}

// A raw deflate stream for one chunk after another.
class ChunkDeflater {
 public:
  explicit ChunkDeflater(int level) {
    ready_ = deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~ChunkDeflater() {
    if (ready_) deflateEnd(&stream_);
  }
  ChunkDeflater(const ChunkDeflater&) = delete;
  ChunkDeflater& operator=(const ChunkDeflater&) = delete;

  // `input` compressed afresh and ended by `flush` (Z_FULL_FLUSH, or
  // Z_FINISH for the final block); false when zlib refuses.
  bool Deflate(std::string_view input, int flush, std::string& output) {
    if (!ready_ || deflateReset(&stream_) != Z_OK) return false;
    // Room for the worst case and the flush's empty stored block.
    output.resize(deflateBound(&stream_, input.size()) + 16);
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream_.avail_in = static_cast<uInt>(input.size());
    stream_.next_out = reinterpret_cast<Bytef*>(output.data());
    stream_.avail_out = static_cast<uInt>(output.size());
    const int status = deflate(&stream_, flush);
    output.resize(output.size() - stream_.avail_out);
    return stream_.avail_in == 0 && (flush == Z_FINISH ? status == Z_STREAM_END : status == Z_OK);
  }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace

FlushedGzipWriter::FlushedGzipWriter(const std::string& path, int level, trust::Sha256Stream* digest)
    : file_(path, digest), level_(level) {
  file_.Write(GzipHeader(level));
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  // Enough queued for every worker to take the next chunk at once.
  most_in_flight_ = 4 * threads;
  for (unsigned n = 0; n < threads; ++n) workers_.emplace_back([this] { Work(); });
}

FlushedGzipWriter::~FlushedGzipWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void FlushedGzipWriter::Work() {
  ChunkDeflater deflater(level_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (queued_.empty()) return;
    const std::shared_ptr<Job> job = queued_.front();
    queued_.pop_front();
    lock.unlock();
    const bool compressed = deflater.Deflate(job->input, Z_FULL_FLUSH, job->output);
    lock.lock();
    if (!compressed) failed_ = true;
    job->done = true;
    job_done_.notify_all();
  }
}

void FlushedGzipWriter::Write(std::string_view data) {
  crc_ = static_cast<uint32_t>(crc32_z(crc_, reinterpret_cast<const Bytef*>(data.data()), data.size()));
  size_ += data.size();
  current_.append(data);
}

void FlushedGzipWriter::EndChunk() {
  if (current_.empty()) return;
  auto job = std::make_shared<Job>();
  job->input.swap(current_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.push_back(job);
    in_order_.push_back(job);
  }
  work_ready_.notify_one();
  WriteFinished(in_order_.size() >= most_in_flight_);
}

void FlushedGzipWriter::WriteFinished(bool wait) {
  for (;;) {
    std::shared_ptr<Job> front;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (in_order_.empty()) return;
      if (wait) job_done_.wait(lock, [this] { return in_order_.front()->done; });
      if (failed_) throw Exception("zlib refused to compress a chunk");
      if (!in_order_.front()->done) return;
      front = in_order_.front();
      in_order_.pop_front();
    }
    file_.Write(front->output);
    lengths_.push_back(front->output.size());
    wait = false;
  }
}

std::vector<uint64_t> FlushedGzipWriter::Finish() {
  EndChunk();
  while (true) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (in_order_.empty()) break;
    }
    WriteFinished(true);
  }
  ChunkDeflater deflater(level_);
  std::string end;
  if (!deflater.Deflate({}, Z_FINISH, end)) throw Exception("zlib refused to end a stream");
  for (int shift = 0; shift < 32; shift += 8) end += static_cast<char>(crc_ >> shift);
  for (int shift = 0; shift < 32; shift += 8) end += static_cast<char>(static_cast<uint32_t>(size_) >> shift);
  file_.Write(end);
  file_.Close();
  return lengths_;
}

}  // namespace mkupdate
