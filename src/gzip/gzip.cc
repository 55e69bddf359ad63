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

}  // namespace

void TGzip::ShowError(const std::string& text) const {
  if (WindowOnError && OnErrorBox) OnErrorBox(text, "Error");
}

int TGzip::Unpack() {
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

  ProgressReporter progress(*this, FileSizeOrZero(FileSource));
  auto block = std::make_unique<char[]>(kBlockSize);
  bool write_failed = false;  // a full disk: the partial file is cut off
  for (;;) {
    const int count = source.Read(block.get(), kBlockSize);
    if (count <= 0) break;  // end of data, or the stream's error (seen at close)
    if (destination.Write(std::string_view(block.get(), static_cast<std::size_t>(count))) != 0) {
      write_failed = true;
      break;
    }
    progress.Update(source.Offset());
  }

  // The stream's verdict: damaged data, a missing end or a failed read.
  const bool damaged = !source.Close();
  if (damaged || write_failed) ShowError("gzclose Error.");

  const int close_error = CloseDestination ? CloseDestination(destination) : destination.Close();
  if (close_error != 0) {
    ShowError("Can't close file " + FileDestination);
    if (OnCloseFailed) OnCloseFailed();
    write_failed = true;
  }

  const int status = write_failed ? kNotReplaced : damaged ? kDamaged : kUnpacked;
  // A partial file that cannot be removed is left to the caller, who
  // knows its name and whether it matters.
  if (status != kUnpacked) {
    (void)platform::RemoveFileIfPresent(partial);
  } else if (platform::ReplaceFile(partial, FileDestination) != 0) {
    ShowError("Can't create: " + FileDestination);
    (void)platform::RemoveFileIfPresent(partial);
    return kNotReplaced;  // the source is kept, as when the destination cannot be created
  }
  // Likewise a source that cannot be deleted.
  if (DeleteSource && !in_place) (void)platform::RemoveFileIfPresent(FileSource);
  return status;
}
