// Blocks of one size that are handed on without copying. A receiver that
// needs the bytes after it returns (a digest computed on another thread)
// keeps a share in their block instead of a copy; the block goes back to
// its pool for reuse when the last share is let go, on whichever thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace platform {

// Receives bytes in order. `owner` keeps them alive: a receiver that holds
// on to them past its return keeps a copy of `owner`, not of the bytes.
using BlockConsumer = std::function<void(std::string_view bytes, const std::shared_ptr<const void>& owner)>;

class BlockPool : public std::enable_shared_from_this<BlockPool> {
 public:
  static std::shared_ptr<BlockPool> Create(size_t block_size);
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;

  size_t BlockSize() const { return block_size_; }
  // A block of BlockSize() bytes, not zeroed: one that came back, or a new one.
  std::shared_ptr<char[]> Take();

 private:
  explicit BlockPool(size_t block_size) : block_size_(block_size) {}
  void Return(char* block);

  const size_t block_size_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<char[]>> spares_;
};

}  // namespace platform
