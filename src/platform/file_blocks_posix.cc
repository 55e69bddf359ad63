#include "platform/file_blocks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "platform/errors.h"
#include "platform/file_system.h"

namespace platform {

namespace {

// Closes the descriptor however the read ends.
struct FdCloser {
  int fd;
  ~FdCloser() { close(fd); }
};

}  // namespace

int64_t ReadFileInBlocks(const std::string& path, size_t block_size, const BlockConsumer& consume) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError("Cannot open file " + path + ": " + ErrorText(errno));
  FdCloser closer{fd};
  // Read-ahead of the whole file: it is read once, in order.
  (void)posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // only a hint; reading works without it
  const std::shared_ptr<BlockPool> pool = BlockPool::Create(block_size);
  int64_t total = 0;
  while (true) {
    const std::shared_ptr<char[]> block = pool->Take();
    const ssize_t got = read(fd, block.get(), block_size);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw EInOutError("Cannot read " + path + ": " + ErrorText(errno));
    }
    if (got == 0) return total;
    total += got;
    consume(std::string_view(block.get(), static_cast<size_t>(got)), std::shared_ptr<const void>(block, block.get()));
  }
}

}  // namespace platform
