// The local side every transport shares: the bound (one byte past it is
// taken, then no more), a continued file's held bytes first to the sink,
// and the sink hearing exactly what the file holds.
#include "transport/download_target.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "support/temp_folder.h"

namespace {

struct TargetCase {
  const char* name;
  int64_t bound;
  std::string held;      // in the file before the download; "" = a new one
  std::string arriving;  // what the server would send
  std::string expected;  // the file and the sink afterwards
  bool past_bound;
};

void PrintTo(const TargetCase& c, std::ostream* out) { *out << c.name; }

class DownloadTargetTest : public ::testing::TestWithParam<TargetCase> {};

TEST_P(DownloadTargetTest, TheFileAndTheSinkGetWhatTheBoundLetsIn) {
  const TargetCase& c = GetParam();
  test_support::TempFolder folder;
  const std::string path = folder.Write("x.bin", c.held.empty() ? "stale" : c.held);
  std::string heard;
  const int64_t held = static_cast<int64_t>(c.held.size());
  DownloadTarget target(path, c.bound, held,
                        [&heard](std::string_view bytes, const std::shared_ptr<const void>& owner) {
                          EXPECT_NE(owner, nullptr);
                          heard += bytes;
                        });
  target.ReplayHeld();
  EXPECT_EQ(heard, c.held) << "the held bytes come first";
  size_t offset = 0;
  // Blocks of 4, as a transport receives them, until the bound is passed.
  while (offset < c.arriving.size() && !target.PastBound()) {
    const size_t room = target.Room(4);
    ASSERT_GT(room, 0u) << "room is left until the bound is passed";
    const size_t length = std::min(room, c.arriving.size() - offset);
    std::memcpy(target.Space(length), c.arriving.data() + offset, length);
    target.Commit(length);
    offset += length;
  }
  EXPECT_EQ(target.PastBound(), c.past_bound);
  if (c.past_bound) {
    EXPECT_EQ(target.Room(4), 0u) << "nothing more is taken past the bound";
  }
  EXPECT_EQ(target.Identity(), platform::IdentityOfFile(path)) << "the file the bytes went into";
  target.Close();
  EXPECT_EQ(folder.Read("x.bin"), c.expected);
  EXPECT_EQ(heard, c.expected);
  EXPECT_EQ(target.Received(), static_cast<int64_t>(c.expected.size()) - held);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, DownloadTargetTest,
    ::testing::Values(TargetCase{"Unbounded", -1, "", "abcdefghij", "abcdefghij", false},
                      TargetCase{"ExactlyTheBound", 5, "", "abcde", "abcde", false},
                      TargetCase{"OneBytePastTheBound", 5, "", "abcdefghij", "abcdef", true},
                      TargetCase{"ContinuedAfterHeldBytes", 8, "abc", "defgh", "abcdefgh", false},
                      TargetCase{"HeldBytesCountTowardsTheBound", 5, "abc", "defghij", "abcdef", true}),
    [](const ::testing::TestParamInfo<TargetCase>& info) { return std::string(info.param.name); });

TEST(HeldBytesToContinueTest, OnlySomeBytesBelowTheBoundAreContinued) {
  test_support::TempFolder folder;
  const std::string path = folder.Write("x.bin", "abc");
  EXPECT_EQ(HeldBytesToContinue(path, 5), 3);
  EXPECT_EQ(HeldBytesToContinue(path, -1), 3) << "below the bound of an unlisted size";
  EXPECT_EQ(HeldBytesToContinue(path, 3), 0) << "a file as long as listed starts over";
  EXPECT_EQ(HeldBytesToContinue(folder.Write("empty.bin", ""), 5), 0);
  EXPECT_EQ(HeldBytesToContinue(folder.path() + "missing.bin", 5), 0);
}

}  // namespace
