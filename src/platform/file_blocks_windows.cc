#include "platform/file_blocks.h"

#include <cstdint>
#include <memory>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/windows_api.h"

namespace platform {

namespace {

// Closes the handle however the read ends.
struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() { CloseHandle(handle); }
};

}  // namespace

int64_t ReadFileInBlocks(const std::string& path, size_t block_size, const BlockConsumer& consume) {
  // Read once, in order: the cache reads ahead for that.
  const HANDLE handle = OpenFileHandle(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (handle == INVALID_HANDLE_VALUE) throw EFOpenError("Cannot open file " + path + ": " + ErrorText(LastErrorAsErrno()));
  HandleCloser closer{handle};
  const std::shared_ptr<BlockPool> pool = BlockPool::Create(block_size);
  int64_t total = 0;
  while (true) {
    const std::shared_ptr<char[]> block = pool->Take();
    DWORD got = 0;
    if (!ReadFile(handle, block.get(), static_cast<DWORD>(block_size), &got, nullptr))
      throw EInOutError("Cannot read " + path + ": " + ErrorText(LastErrorAsErrno()));
    if (got == 0) return total;
    total += got;
    consume(std::string_view(block.get(), got), std::shared_ptr<const void>(block, block.get()));
  }
}

}  // namespace platform
