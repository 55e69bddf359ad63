// How the wanted ranges of a file become requests to a server, the same
// for every protocol: merged where a request costs more than the bytes
// between them, and split again on the way in, so that the sink of
// DownloadRanges hears only the wanted bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/transport.h"

// One span to ask a server for, and the wanted ranges inside it: those
// numbered first to first + count - 1.
struct RangeRequest {
  ByteRange span;
  size_t first = 0;
  size_t count = 0;
};

// Why `ranges` cannot be asked for from a file of served_size bytes (not
// sorted, overlapping, empty or outside the file), in words naming the
// range; nullopt when they can.
std::optional<std::string> RangesFault(const std::vector<ByteRange>& ranges, int64_t served_size);

// The spans that fetch `wanted` (as RangesFault accepts): adjacent ranges
// always share a span, ranges up to max_gap bytes apart too (the bytes
// between them are fetched and dropped). Every wanted range lies in
// exactly one span; the spans are sorted and do not touch.
std::vector<RangeRequest> MergeRanges(const std::vector<ByteRange>& wanted, int64_t max_gap);

// The total length of `ranges`.
int64_t RangesBytes(const std::vector<ByteRange>& ranges);

// How many bytes of `wanted` lie in the first `prefix` bytes of
// `request`'s span: the progress of a span of which that many came.
int64_t WantedBytesWithin(const std::vector<ByteRange>& wanted, const RangeRequest& request, int64_t prefix);

// Takes the bytes of one request's span in order and hands the sink the
// parts that belong to its wanted ranges, each with its range's index;
// the bytes between them are dropped.
class SpanSplitter {
 public:
  // `wanted` and `sink` outlive the splitter.
  SpanSplitter(const std::vector<ByteRange>& wanted, const RangeRequest& request, const RangeSink& sink);

  // Takes the next bytes of the span; returns how many it took: all of
  // them, or fewer when they run past the span's end (the rest is not the
  // span's).
  size_t Take(std::string_view bytes, const std::shared_ptr<const void>& owner);
  // The span's bytes taken so far, and the wanted ones among them.
  int64_t Taken() const { return taken_; }
  int64_t WantedTaken() const { return wanted_taken_; }
  // Every byte of the span has been taken.
  bool Complete() const { return taken_ == request_.span.length; }
  const RangeRequest& Request() const { return request_; }

 private:
  const std::vector<ByteRange>& wanted_;
  RangeRequest request_;
  const RangeSink& sink_;
  int64_t taken_ = 0;
  int64_t wanted_taken_ = 0;
  size_t next_ = 0;  // the first wanted range not yet wholly heard
};
