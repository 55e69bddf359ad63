#include "trust/sha256.h"

#include <gtest/gtest.h>

#include "trust/background_sha256.h"

#include <memory>
#include <random>
#include <vector>

#include "platform/errors.h"
#include "support/temp_folder.h"
#include "support/shell_tool.h"

namespace trust {
namespace {

TEST(Sha256Test, KnownDigestsWhateverThePieces) {
  Sha256Stream stream;
  EXPECT_EQ(stream.Final(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  stream.Update("abc");
  EXPECT_EQ(stream.Final(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  {
    SCOPED_TRACE("a million 'a' in pieces of every size from 1 to 999 bytes");
    const std::string million(1000000, 'a');
    size_t at = 0;
    for (size_t piece = 1; at < million.size(); piece = piece % 999 + 1) {
      piece = std::min(piece, million.size() - at);
      stream.Update(std::string_view(million).substr(at, piece));
      at += piece;
    }
    EXPECT_EQ(stream.Final(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  }
  {
    SCOPED_TRACE("Final starts afresh, and a moved stream goes on where it was");
    stream.Update("a");
    Sha256Stream moved = std::move(stream);
    moved.Update("bc");
    EXPECT_EQ(moved.Final(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(moved.Final(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  }
}

// The hash of a download, computed on a thread of its own, agrees with the
// plain stream: for nothing, for a few bytes (hashed without the thread),
// around the batch that starts it, and for more than the queue holds (so
// Update waits for the thread), in pieces of every size, copied or held
// by their owners (small and large ones mixed); every owner is let go by
// the time Final returns.
TEST(Sha256Test, BackgroundHashAgreesWithTheStream) {
  std::mt19937 random(7);
  for (const bool owned : {false, true}) {
    for (const size_t size : {size_t{0}, size_t{3}, (size_t{1} << 20) - 1, size_t{1} << 20,
                              (size_t{1} << 20) + 1, size_t{40} << 20}) {
      SCOPED_TRACE(std::to_string(size) + (owned ? " bytes, owned pieces" : " bytes, copied pieces"));
      std::string bytes(size, '\0');
      for (char& c : bytes) c = static_cast<char>(random());
      Sha256Stream plain;
      plain.Update(bytes);
      std::vector<std::shared_ptr<const std::string>> owners;
      BackgroundSha256 background;
      for (size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 7 % 200003 + 1) {
        const std::string_view part = std::string_view(bytes).substr(at, std::min(piece, bytes.size() - at));
        if (!owned) {
          background.Update(part);
          continue;
        }
        owners.push_back(std::make_shared<const std::string>(part));
        background.Update(*owners.back(), owners.back());
      }
      EXPECT_EQ(background.Final(), plain.Final());
      for (const auto& owner : owners) ASSERT_EQ(owner.use_count(), 1) << "an owner is still held";
    }
  }
  SCOPED_TRACE("dropped without its digest (a download that failed): the thread ends");
  BackgroundSha256 dropped;
  dropped.Update(std::string(3 << 20, 'x'));
}

TEST(Sha256Test, FilesAgreeWithTheStreamAndWithSha256sum) {
  test_support::TempFolder folder;
  std::mt19937 random(13);
  // Empty, one byte, and sizes around the read block (1 MiB).
  for (size_t size : {size_t{0}, size_t{1}, size_t{1} << 20, (size_t{3} << 20) + 7}) {
    SCOPED_TRACE(size);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    std::string path = folder.Write("file-" + std::to_string(size), bytes);
    Sha256Stream stream;
    stream.Update(bytes);
    std::string digest = Sha256File(path);
    EXPECT_EQ(digest, stream.Final());
    test_support::ToolRun tool = test_support::RunTool("sha256sum " + test_support::ShellQuoted(path));
    ASSERT_EQ(tool.status, 0) << tool.output;
    EXPECT_EQ(tool.output.substr(0, 64), digest);
  }
  try {
    (void)Sha256File(folder.path() + "missing");
    ADD_FAILURE() << "a missing file was hashed";
  } catch (const EFOpenError& error) {
    EXPECT_NE(std::string(error.what()).find(folder.path() + "missing"), std::string::npos) << error.what();
  }
}

TEST(Sha256Test, DigestForm) {
  const std::string good = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
  EXPECT_TRUE(IsSha256Hex(good));
  EXPECT_FALSE(IsSha256Hex(""));
  EXPECT_FALSE(IsSha256Hex(good.substr(1)));
  EXPECT_FALSE(IsSha256Hex(good + "0"));
  std::string upper = good;
  upper[0] = 'E';
  EXPECT_FALSE(IsSha256Hex(upper));  // the lists carry lower case only
  std::string other = good;
  other[5] = 'g';
  EXPECT_FALSE(IsSha256Hex(other));
}

}  // namespace
}  // namespace trust
