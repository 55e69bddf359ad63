#include "gzip/gzip.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "gzip/gzip_reader.h"

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
    return 1;
  }

  // Emptying the destination when it is the source itself would destroy
  // the data before it is read: such an unpack goes through a file beside
  // it that replaces both at the end.
  std::error_code ignored;
  const bool in_place = std::filesystem::equivalent(FileSource, FileDestination, ignored);
  const std::string written = in_place ? FileDestination + ".unpacking" : FileDestination;

  // "e": close-on-exec, so programs started later never inherit the file.
  std::FILE* destination = std::fopen(written.c_str(), "wbe");
  if (destination == nullptr) {
    ShowError("Can't create: " + FileDestination);
    (void)source.Close();  // nothing was read, so there is no verdict
    return 2;
  }
  // Our block is the only buffer: a failed write shows at once, and the
  // close has nothing left to flush.
  std::setvbuf(destination, nullptr, _IONBF, 0);

  ProgressReporter progress(*this, FileSizeOrZero(FileSource));
  auto block = std::make_unique<char[]>(kBlockSize);
  bool failed = false;
  bool write_failed = false;  // a full disk: the destination is cut off
  for (;;) {
    const int count = source.Read(block.get(), kBlockSize);
    if (count <= 0) break;  // end of data, or the stream's error (seen at close)
    if (std::fwrite(block.get(), 1, count, destination) != static_cast<std::size_t>(count)) {
      failed = write_failed = true;
      break;
    }
    progress.Update(source.Offset());
  }

  // The stream's verdict: damaged data, a missing end or a failed read.
  if (!source.Close()) failed = true;
  if (failed) ShowError("gzclose Error.");

  // A failed delete is deliberately not reported: the unpacked file is in
  // place, and a stale download is harmless.
  if (DeleteSource && !in_place) std::remove(FileSource.c_str());

  const int closed = CloseDestination ? CloseDestination(destination) : std::fclose(destination);
  if (closed != 0) {
    ShowError("Can't close file " + FileDestination);
    if (ExitProcess) {
      ExitProcess(1);
    } else {
      std::_Exit(1);
    }
  }
  if (in_place && write_failed) {
    std::remove(written.c_str());  // the source stays whole
    return 2;
  }
  if (in_place && std::rename(written.c_str(), FileDestination.c_str()) != 0) {
    std::remove(written.c_str());
    ShowError("Can't create: " + FileDestination);
    return 2;
  }
  // A cut-off file must not pass for an installed one.
  return write_failed ? 2 : 0;
}
