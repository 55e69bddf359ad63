#include "platform/block_pool.h"

namespace platform {

std::shared_ptr<BlockPool> BlockPool::Create(size_t block_size) {
  return std::shared_ptr<BlockPool>(new BlockPool(block_size));
}

std::shared_ptr<char[]> BlockPool::Take() {
  std::unique_ptr<char[]> block;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!spares_.empty()) {
      block = std::move(spares_.back());
      spares_.pop_back();
    }
  }
  // Not zeroed: a small file touches a page or two of it.
  if (!block) block.reset(new char[block_size_]);
  // The share in the pool keeps it alive while any of its blocks is held.
  return std::shared_ptr<char[]>(block.release(), [pool = shared_from_this()](char* spare) { pool->Return(spare); });
}

void BlockPool::Return(char* block) {
  std::unique_ptr<char[]> owned(block);
  std::lock_guard<std::mutex> lock(mutex_);
  spares_.push_back(std::move(owned));
}

}  // namespace platform
