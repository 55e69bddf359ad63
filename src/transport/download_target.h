// The local side of a download, the same for every protocol: the file its
// bytes go into, the bound on how many may come, the bytes a continued
// download already holds, and the byte sink that hears them all in order.
// A transport receives into Space/Commit and leaves the rest to this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/block_pool.h"
#include "platform/file_identity.h"
#include "platform/file_stream.h"
#include "transport/transport.h"

// The most a download of listed_size (-1 = none listed) may hold in all:
// listed_size, or kUnlistedTransferLimit.
int64_t DownloadBound(int64_t listed_size);

// The bytes a download of `path` with resume may continue after: what the
// file holds when that is some and fewer than DownloadBound(listed_size);
// else 0 (it starts from byte 0).
int64_t HeldBytesToContinue(const std::string& path, int64_t listed_size);

// "64 MiB (67108864 bytes)": kUnlistedTransferLimit in words.
std::string UnlistedLimitText();

// The text of the ETransferLimit that ends a download of `remote` past its
// bound: "Download of x stopped: the server sent more than the 5 bytes
// listed for it".
std::string TransferLimitText(const std::string& remote, int64_t listed_size);

// Receives blocks straight into a write-behind buffer of kWriteSize; full
// buffers reach the file in large writes (flushed to disk behind them, so a
// large download is on the disk by the time it ends) and then go on to the
// sink as they are, not copied. Closes the file on every way out, writing
// what is buffered as far as it can.
class DownloadTarget {
 public:
  static constexpr size_t kWriteSize = 1 << 20;

  // Opens `path` for a download that may hold `bound` bytes in all (-1 =
  // no bound). With held > 0 the file already holds the download's first
  // `held` bytes and the new ones go after them (see ReplayHeld);
  // otherwise it is created or truncated. Throws EFOpenError "Cannot create
  // file <path>".
  DownloadTarget(std::string path, int64_t bound, int64_t held, ByteSink sink);
  // A target without a file: the bytes go to `sink` alone, in the same
  // blocks, and Identity is nullopt.
  DownloadTarget(int64_t bound, ByteSink sink);
  ~DownloadTarget();
  DownloadTarget(const DownloadTarget&) = delete;
  DownloadTarget& operator=(const DownloadTarget&) = delete;

  // Hands the sink the held bytes, read back from the file in blocks of
  // kWriteSize, pumping messages between blocks (a large file takes a
  // while). Call it once, before the first Commit. Throws EFOpenError or
  // EInOutError when they cannot all be read.
  void ReplayHeld();

  // How many of the next `block` bytes may be received: up to one byte past
  // the bound (enough to know it was passed), 0 once it is passed.
  size_t Room(size_t block) const;
  // Where the next `length` bytes (at most Room's) are received into.
  char* Space(size_t length);
  // `length` bytes were received into Space.
  void Commit(size_t length);
  // More bytes arrived than the bound allows.
  bool PastBound() const { return bound_ >= 0 && held_ + received_ > bound_; }
  // The bytes received by this transfer; those held before not counted.
  int64_t Received() const { return received_; }
  int64_t Held() const { return held_; }

  // Writes what is buffered and hands it to the sink. Throws EInOutError.
  void Flush();
  // Flush, then closes the file. Throws EInOutError.
  void Close();
  // The file being written, as opened.
  std::optional<platform::FileIdentity> Identity() const {
    return file_ ? file_->Identity() : std::nullopt;
  }

 private:
  [[noreturn]] void Fail(int error) const;

  std::string path_;
  int64_t bound_;
  int64_t held_;
  ByteSink sink_;
  std::optional<platform::OutputFile> file_;  // none for a target without a file
  std::shared_ptr<platform::BlockPool> pool_;
  std::shared_ptr<char[]> buffer_;  // taken by Space when needed
  size_t filled_ = 0;
  int64_t received_ = 0;
};
