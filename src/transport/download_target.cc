#include "transport/download_target.h"

#include <utility>

#include "platform/errors.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"

int64_t DownloadBound(int64_t listed_size) { return listed_size >= 0 ? listed_size : kUnlistedTransferLimit; }

int64_t HeldBytesToContinue(const std::string& path, int64_t listed_size) {
  const int64_t held = platform::FileSize(path);
  return held > 0 && held < DownloadBound(listed_size) ? held : 0;
}

std::string UnlistedLimitText() {
  return std::to_string(kUnlistedTransferLimit >> 20) + " MiB (" + std::to_string(kUnlistedTransferLimit) +
         " bytes)";
}

std::string TransferLimitText(const std::string& remote, int64_t listed_size) {
  std::string text = "Download of " + remote + " stopped: the server sent more than ";
  if (listed_size >= 0) return text + "the " + std::to_string(listed_size) + " bytes listed for it";
  return text + UnlistedLimitText() + ", the limit for a file without a listed size";
}

DownloadTarget::DownloadTarget(std::string path, int64_t bound, int64_t held, ByteSink sink)
    : path_(std::move(path)),
      bound_(bound),
      held_(held),
      sink_(std::move(sink)),
      file_(std::in_place, path_, 0644, held > 0),
      pool_(platform::BlockPool::Create(kWriteSize)) {
  if (!file_->IsOpen()) throw EFOpenError("Cannot create file " + path_);
  // A download becomes an installed file, flushed to disk before it is
  // recorded: a large one gets there while it arrives.
  file_->FlushWhileWriting();
}

DownloadTarget::DownloadTarget(int64_t bound, ByteSink sink)
    : bound_(bound), held_(0), sink_(std::move(sink)), pool_(platform::BlockPool::Create(kWriteSize)) {}

DownloadTarget::~DownloadTarget() {
  // Leaving by an error: what did arrive still goes to the file, as far as
  // it can; the error being reported is the one that counts.
  if (file_ && file_->IsOpen() && filled_ > 0) (void)file_->Write(std::string_view(buffer_.get(), filled_));
}

void DownloadTarget::ReplayHeld() {
  if (!sink_ || held_ == 0) return;
  platform::InputFile file(path_);
  if (!file.IsOpen()) throw EFOpenError("Cannot open file " + path_);
  for (int64_t left = held_; left > 0;) {
    const size_t wanted = left < static_cast<int64_t>(kWriteSize) ? static_cast<size_t>(left) : kWriteSize;
    const std::shared_ptr<char[]> block = pool_->Take();
    const size_t got = file.Read(block.get(), wanted);
    if (got < wanted) {
      throw EInOutError("Cannot continue " + path_ + ": " + std::to_string(held_) + " bytes were there, " +
                        std::to_string(held_ - left + static_cast<int64_t>(got)) + " could be read");
    }
    sink_(std::string_view(block.get(), got), std::shared_ptr<const void>(block, block.get()));
    left -= static_cast<int64_t>(got);
    platform::ProcessMessages();
  }
}

size_t DownloadTarget::Room(size_t block) const {
  if (bound_ < 0) return block;
  const int64_t left = bound_ + 1 - held_ - received_;
  if (left <= 0) return 0;
  return left < static_cast<int64_t>(block) ? static_cast<size_t>(left) : block;
}

char* DownloadTarget::Space(size_t length) {
  if (kWriteSize - filled_ < length) Flush();
  if (!buffer_) buffer_ = pool_->Take();
  return buffer_.get() + filled_;
}

void DownloadTarget::Commit(size_t length) {
  filled_ += length;
  received_ += static_cast<int64_t>(length);
}

void DownloadTarget::Flush() {
  if (filled_ == 0) return;
  const std::string_view bytes(buffer_.get(), filled_);
  filled_ = 0;
  if (file_) {
    if (const int error = file_->Write(bytes); error != 0) Fail(error);
  }
  if (!sink_) return;
  sink_(bytes, std::shared_ptr<const void>(buffer_, buffer_.get()));
  // Let go: a sink that kept it has it to itself, and otherwise it is back
  // in the pool for the next Space.
  buffer_.reset();
}

void DownloadTarget::Close() {
  Flush();
  if (!file_) return;
  if (const int error = file_->Close(); error != 0) Fail(error);
}

void DownloadTarget::Fail(int error) const {
  throw EInOutError("I/O error " + std::to_string(error) + " writing " + path_ + ": " + platform::ErrorText(error));
}
