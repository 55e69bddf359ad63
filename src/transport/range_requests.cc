#include "transport/range_requests.h"

#include <algorithm>

namespace {

std::string RangeText(size_t index, const ByteRange& range) {
  return "range " + std::to_string(index) + " (" + std::to_string(range.length) + " bytes at " +
         std::to_string(range.offset) + ")";
}

}  // namespace

std::optional<std::string> RangesFault(const std::vector<ByteRange>& ranges, int64_t served_size) {
  int64_t end = 0;
  for (size_t i = 0; i < ranges.size(); ++i) {
    const ByteRange& range = ranges[i];
    if (range.length <= 0) return RangeText(i, range) + " is empty";
    if (range.offset < end) return RangeText(i, range) + " starts before the end of the one before it";
    if (range.offset > served_size || range.length > served_size - range.offset)
      return RangeText(i, range) + " reaches past the file's " + std::to_string(served_size) + " bytes";
    end = range.offset + range.length;
  }
  return std::nullopt;
}

std::vector<RangeRequest> MergeRanges(const std::vector<ByteRange>& wanted, int64_t max_gap) {
  std::vector<RangeRequest> requests;
  for (size_t i = 0; i < wanted.size(); ++i) {
    const ByteRange& range = wanted[i];
    if (!requests.empty()) {
      ByteRange& span = requests.back().span;
      const int64_t gap = range.offset - (span.offset + span.length);
      if (gap <= max_gap) {
        span.length = range.offset + range.length - span.offset;
        ++requests.back().count;
        continue;
      }
    }
    requests.push_back(RangeRequest{range, i, 1});
  }
  return requests;
}

int64_t RangesBytes(const std::vector<ByteRange>& ranges) {
  int64_t bytes = 0;
  for (const ByteRange& range : ranges) bytes += range.length;
  return bytes;
}

int64_t WantedBytesWithin(const std::vector<ByteRange>& wanted, const RangeRequest& request, int64_t prefix) {
  const int64_t end = request.span.offset + std::min(prefix, request.span.length);
  int64_t bytes = 0;
  for (size_t i = request.first; i < request.first + request.count && wanted[i].offset < end; ++i)
    bytes += std::min(wanted[i].offset + wanted[i].length, end) - wanted[i].offset;
  return bytes;
}

SpanSplitter::SpanSplitter(const std::vector<ByteRange>& wanted, const RangeRequest& request, const RangeSink& sink)
    : wanted_(wanted), request_(request), sink_(sink), next_(request.first) {}

size_t SpanSplitter::Take(std::string_view bytes, const std::shared_ptr<const void>& owner) {
  const int64_t room = request_.span.length - taken_;
  if (static_cast<int64_t>(bytes.size()) > room) bytes = bytes.substr(0, static_cast<size_t>(room));
  const int64_t start = request_.span.offset + taken_;  // the file offset of bytes[0]
  const int64_t end = start + static_cast<int64_t>(bytes.size());
  for (; next_ < request_.first + request_.count; ++next_) {
    const ByteRange& range = wanted_[next_];
    const int64_t from = std::max(range.offset, start);
    const int64_t to = std::min(range.offset + range.length, end);
    if (from < to) {
      wanted_taken_ += to - from;
      if (sink_) sink_(next_, bytes.substr(static_cast<size_t>(from - start), static_cast<size_t>(to - from)), owner);
    }
    if (range.offset + range.length > end) break;  // the range goes on in the next bytes
  }
  taken_ += static_cast<int64_t>(bytes.size());
  return bytes.size();
}
