#include "gzip/gzip.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "gzip/gzip_reader.h"
#include "platform/file_system.h"

namespace {

// Reports progress in steps of TGzip::ProgressStep percent of the source.
class ProgressReporter {
 public:
  ProgressReporter(const TGzip& gzip, std::uint64_t source_size)
      : gzip_(gzip),
        total_(gzip.ProgressStep > 0 && gzip.OnProgress ? source_size : 0) {}

  // Announces every step passed up to `offset` bytes of the source.
  void Update(std::uint64_t offset) {
    if (total_ == 0) return;
    const int percent = static_cast<int>(std::min<std::uint64_t>(100, offset * 100 / total_));
    while (next_ <= percent) {
      gzip_.OnProgress(next_);
      next_ += gzip_.ProgressStep;
    }
  }

 private:
  const TGzip& gzip_;
  std::uint64_t total_;
  int next_ = 0;
};

std::uint64_t FileSizeOrZero(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

// The bytes an unpack into `free_space` may write and keep `kept` free;
// -1 (no bound) when the free space is unknown.
int64_t RoomLeaving(int64_t free_space, int64_t kept) {
  if (free_space < 0) return -1;
  return free_space > kept ? free_space - kept : 0;
}

}  // namespace

void TGzip::ShowError(const std::string& text) const {
  if (WindowOnError && OnErrorBox) OnErrorBox(text, "Error");
}

int TGzip::Unpack() { return Unpack(Expectation{}); }

int TGzip::Unpack(const Expectation& expected) {
  GzipReader source;
  if (!source.Open(FileSource)) {
    ShowError("Can't open: " + FileSource);
    return kSourceNotOpened;
  }

  const std::string partial = platform::PartialFileOf(FileDestination);
  // An unpack in place replaces the source with its own data.
  std::error_code ignored;
  const bool in_place = std::filesystem::equivalent(FileSource, FileDestination, ignored);
  // Unbuffered: our block is the only buffer, so a failed write shows at
  // once and the close has nothing left to flush.
  platform::OutputFile destination(partial);
  if (!destination.IsOpen()) {
    ShowError("Can't create: " + FileDestination);
    (void)source.Close();  // nothing was read, so there is no verdict
    return kNotReplaced;
  }
  // It becomes an installed file, flushed to disk before the record names
  // it: a large one gets there while it is written.
  destination.FlushWhileWriting();
  // Measured once: what this unpack writes is what it may not outgrow.
  const int64_t room =
      RoomLeaving(MeasureFreeSpace ? MeasureFreeSpace(partial) : platform::FreeDiskSpace(partial), kKeptFree);

  ProgressReporter progress(*this, FileSizeOrZero(FileSource));
  auto block = std::make_unique<char[]>(kBlockSize);
  bool write_failed = false;  // a full disk: the partial file is cut off
  int bound = kUnpacked;      // the bound the data ran into, if any
  int64_t written = 0;
  for (;;) {
    const int count = source.Read(block.get(), kBlockSize);
    if (count <= 0) break;  // end of data, or the stream's error (seen at close)
    if (expected.size >= 0 && written + count > expected.size) {
      bound = kPastListedSize;
      break;
    }
    if (room >= 0 && written + count > room) {
      bound = kNoRoom;
      break;
    }
    const std::string_view bytes(block.get(), static_cast<std::size_t>(count));
    if (destination.Write(bytes) != 0) {
      write_failed = true;
      break;
    }
    written += count;
    if (expected.on_bytes) expected.on_bytes(bytes);
    progress.Update(source.Offset());
  }

  // The stream's verdict: damaged data, a missing end or a failed read.
  // A stream stopped at a bound was not read to its end: its verdict says nothing.
  const bool damaged = !source.Close() && bound == kUnpacked;
  if (damaged || write_failed) ShowError("gzclose Error.");

  const int close_error = CloseDestination ? CloseDestination(destination) : destination.Close();
  if (close_error != 0) {
    ShowError("Can't close file " + FileDestination);
    if (OnCloseFailed) OnCloseFailed();
    write_failed = true;
  }

  int status = write_failed ? kNotReplaced : bound != kUnpacked ? bound : damaged ? kDamaged : kUnpacked;
  if (status == kUnpacked && expected.accept && !expected.accept()) status = kRefused;
  // A partial file that cannot be removed is left to the caller, who
  // knows its name and whether it matters.
  if (status != kUnpacked) {
    (void)platform::RemoveFileIfPresent(partial);
  } else if (platform::ReplaceFile(partial, FileDestination, expected.execute) != 0) {
    ShowError("Can't create: " + FileDestination);
    (void)platform::RemoveFileIfPresent(partial);
    return kNotReplaced;  // the source is kept, as when the destination cannot be created
  }
  // Likewise a source that cannot be deleted.
  if (DeleteSource && !in_place) (void)platform::RemoveFileIfPresent(FileSource);
  return status;
}
