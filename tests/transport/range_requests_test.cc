// Wanted ranges become few requests and come back apart: adjacent and
// nearby ranges share a span, and whatever pieces a span's bytes arrive
// in, the sink hears each wanted range's bytes, in order, and no byte
// between them.
#include "transport/range_requests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ranges = std::vector<ByteRange>;

std::string Spans(const std::vector<RangeRequest>& requests) {
  std::string text;
  for (const RangeRequest& r : requests) {
    text += std::to_string(r.span.offset) + "+" + std::to_string(r.span.length) + "[" + std::to_string(r.first) +
            "," + std::to_string(r.count) + "] ";
  }
  return text;
}

TEST(RangeRequestsTest, RangesThatCannotBeAskedForSayWhich) {
  EXPECT_EQ(RangesFault({}, 0), std::nullopt);
  EXPECT_EQ(RangesFault({{0, 10}, {10, 5}, {99, 1}}, 100), std::nullopt);
  const struct {
    Ranges ranges;
    const char* fault;
  } cases[] = {
      {{{0, 10}, {5, 10}}, "range 1 (10 bytes at 5) starts before the end of the one before it"},
      {{{20, 1}, {10, 1}}, "range 1 (1 bytes at 10) starts before"},
      {{{3, 0}}, "range 0 (0 bytes at 3) is empty"},
      {{{90, 11}}, "reaches past the file's 100 bytes"},
      {{{101, 1}}, "reaches past"},
      {{{1, INT64_MAX}}, "reaches past"},
  };
  for (const auto& c : cases) {
    const std::optional<std::string> fault = RangesFault(c.ranges, 100);
    ASSERT_TRUE(fault.has_value()) << c.fault;
    EXPECT_NE(fault->find(c.fault), std::string::npos) << *fault;
  }
}

TEST(RangeRequestsTest, AdjacentRangesAlwaysMergeNearbyOnesUpToTheGap) {
  const Ranges wanted{{0, 10}, {10, 10}, {36, 4}, {57, 3}, {61, 1}};
  EXPECT_EQ(Spans(MergeRanges(wanted, 0)), "0+20[0,2] 36+4[2,1] 57+3[3,1] 61+1[4,1] ");
  // A gap of exactly max_gap is fetched; one byte more is another span.
  EXPECT_EQ(Spans(MergeRanges(wanted, 16)), "0+40[0,3] 57+5[3,2] ");
  EXPECT_EQ(Spans(MergeRanges(wanted, 15)), "0+20[0,2] 36+4[2,1] 57+5[3,2] ");
  EXPECT_EQ(Spans(MergeRanges(wanted, 1 << 20)), "0+62[0,5] ");
  EXPECT_EQ(Spans(MergeRanges({}, 16)), "");
  // The progress within a span counts only its wanted bytes.
  const RangeRequest first = MergeRanges(wanted, 16).front();
  EXPECT_EQ(WantedBytesWithin(wanted, first, 0), 0);
  EXPECT_EQ(WantedBytesWithin(wanted, first, 15), 15);
  EXPECT_EQ(WantedBytesWithin(wanted, first, 30), 20);
  EXPECT_EQ(WantedBytesWithin(wanted, first, 38), 22);
}

TEST(RangeRequestsTest, TheSinkHearsEachWantedRangeWholeInOrderWhateverThePieces) {
  std::string file(300, '\0');
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>('A' + i % 26);
  const Ranges wanted{{5, 1}, {6, 20}, {40, 7}, {100, 50}, {151, 1}, {290, 10}};
  for (const size_t piece : {size_t{1}, size_t{3}, size_t{64}, size_t{1000}}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    std::vector<std::string> heard(wanted.size());
    size_t last_range = 0;
    const RangeSink sink = [&](size_t range, std::string_view bytes, const std::shared_ptr<const void>&) {
      EXPECT_GE(range, last_range) << "ranges come in order";
      EXPECT_FALSE(bytes.empty());
      last_range = range;
      heard[range] += bytes;
    };
    int64_t wanted_bytes = 0;
    for (const RangeRequest& request : MergeRanges(wanted, 16)) {
      SpanSplitter splitter(wanted, request, sink);
      const std::string span = file.substr(static_cast<size_t>(request.span.offset),
                                           static_cast<size_t>(request.span.length));
      // A stream cut off past the span's end (an FTP transfer that runs
      // on) gives it more than its bytes: the rest is left.
      const std::string arriving = span + "beyond";
      size_t at = 0;
      while (at < arriving.size() && !splitter.Complete()) {
        const std::string_view next = std::string_view(arriving).substr(at, piece);
        const size_t taken = splitter.Take(next, nullptr);
        EXPECT_TRUE(taken == next.size() || splitter.Complete());
        at += taken;
      }
      EXPECT_EQ(at, span.size());
      EXPECT_EQ(WantedBytesWithin(wanted, request, request.span.length + 99), splitter.WantedTaken());
      EXPECT_EQ(splitter.Take("more", nullptr), 0u);
      wanted_bytes += splitter.WantedTaken();
    }
    for (size_t i = 0; i < wanted.size(); ++i) {
      EXPECT_EQ(heard[i], file.substr(static_cast<size_t>(wanted[i].offset), static_cast<size_t>(wanted[i].length)))
          << "range " << i;
    }
    EXPECT_EQ(wanted_bytes, RangesBytes(wanted));
  }
}

}  // namespace
