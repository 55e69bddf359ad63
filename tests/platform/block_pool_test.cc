#include "platform/block_pool.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/file_blocks.h"
#include "support/temp_folder.h"

namespace {

// A block comes back for reuse only when its last share is let go, on any
// thread, and a share may outlive every handle on the pool.
TEST(BlockPoolTest, ABlockIsReusedOnlyOnceNobodyHoldsIt) {
  auto pool = platform::BlockPool::Create(4096);
  std::shared_ptr<char[]> first = pool->Take();
  const char* const first_address = first.get();
  std::shared_ptr<const void> kept(first, first.get());
  first.reset();
  std::shared_ptr<char[]> second = pool->Take();
  EXPECT_NE(second.get(), first_address) << "a block somebody still holds is not handed out again";
  std::thread([held = std::move(kept)]() mutable { held.reset(); }).join();
  EXPECT_EQ(pool->Take().get(), first_address) << "let go on another thread, it is reused";

  std::shared_ptr<char[]> survivor = pool->Take();
  pool.reset();
  survivor[4095] = 'x';  // the pool lives on in its blocks (checked under the sanitizers)
}

// Every block of a file reaches the consumer in order; a consumer that keeps
// the blocks sees them unchanged after the read has gone on.
TEST(BlockPoolTest, ReadFileInBlocksHandsOnBlocksAConsumerMayKeep) {
  test_support::TempFolder folder;
  std::string content;
  for (int i = 0; i < 10000; ++i) content += std::to_string(i) + ",";
  const std::string path = folder.Write("file", content);
  std::vector<std::pair<std::string_view, std::shared_ptr<const void>>> kept;
  const int64_t total = platform::ReadFileInBlocks(
      path, 4096, [&kept](std::string_view bytes, const std::shared_ptr<const void>& owner) {
        kept.emplace_back(bytes, owner);
      });
  EXPECT_EQ(total, static_cast<int64_t>(content.size()));
  std::string joined;
  for (const auto& [bytes, owner] : kept) joined += bytes;
  EXPECT_EQ(joined, content);
}

}  // namespace
