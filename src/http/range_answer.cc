#include "http/range_answer.h"

#include <algorithm>
#include <cstring>

#include "http/fetch_rules.h"

namespace {

// The blocks the wanted bytes are copied into: libcurl hands at most its
// receive buffer at a time, usually far less.
constexpr size_t kBlockBytes = 64 * 1024;

std::string SpanText(const ByteRange& span) {
  return std::to_string(span.offset) + "-" + std::to_string(span.offset + span.length - 1);
}

}  // namespace

RangeAnswer::RangeAnswer(const std::vector<ByteRange>& wanted, std::vector<RangeRequest> spans,
                         int64_t served_size, const RangeSink& sink)
    : wanted_(wanted), spans_(std::move(spans)), served_size_(served_size), sink_(sink),
      pool_(platform::BlockPool::Create(kBlockBytes)) {}

std::string RangeAnswer::HeaderValue() const {
  std::string value;
  for (const RangeRequest& request : spans_) value += (value.empty() ? "" : ",") + SpanText(request.span);
  return value;
}

std::optional<FetchFailure> RangeAnswer::Open(long status, const std::string& reason, const std::string& content_type,
                                              const std::string& content_range, const std::string& what) {
  what_ = what;
  if (status == 200) {
    return FetchFailure{DownloadFailure::kRefused,
                        "The server sends the whole file, not parts of it (" + what + ")"};
  }
  if (status != 206) return StatusFailure(status, reason, what);
  const auto refused = [&what](const std::string& text) {
    return FetchFailure{DownloadFailure::kRefused, text + " (" + what + ")"};
  };
  if (std::optional<std::string> boundary = ByteRangesBoundary(content_type)) {
    multipart_.emplace(
        std::move(*boundary), [this](const ContentRange& range) { return BeginSpan(range); },
        [this](std::string_view bytes) { Deliver(bytes); });
    return std::nullopt;
  }
  if (spans_.size() > 1) {
    return refused("The server answered " + std::to_string(spans_.size()) + " ranges with one part (" +
                   content_range + ")");
  }
  const std::optional<ContentRange> range = ParseContentRange(content_range);
  if (!range) return refused("The server's answer names no range it holds (Content-Range: " + content_range + ")");
  if (std::optional<std::string> fault = BeginSpan(*range)) return refused(*fault);
  return std::nullopt;
}

std::optional<std::string> RangeAnswer::BeginSpan(const ContentRange& range) {
  if (next_span_ >= spans_.size()) return "more parts than the " + std::to_string(spans_.size()) + " asked for";
  const RangeRequest& request = spans_[next_span_];
  const ByteRange& span = request.span;
  if (range.first != span.offset || range.last != span.offset + span.length - 1 ||
      (range.complete >= 0 && range.complete != served_size_)) {
    return "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) + "/" +
           (range.complete < 0 ? "*" : std::to_string(range.complete)) + " where " + SpanText(span) + "/" +
           std::to_string(served_size_) + " were asked for";
  }
  span_.emplace(wanted_, request, sink_);
  ++next_span_;
  return std::nullopt;
}

std::optional<std::string> RangeAnswer::Take(std::string_view bytes) {
  if (multipart_) {
    std::optional<std::string> fault = multipart_->Take(bytes);
    return fault ? std::optional<std::string>(*fault + " (" + what_ + ")") : std::nullopt;
  }
  if (static_cast<int64_t>(bytes.size()) > spans_.front().span.length - span_->Taken())
    return "The server sent more than the " + std::to_string(spans_.front().span.length) + " bytes asked for (" +
           what_ + ")";
  Deliver(bytes);
  return std::nullopt;
}

void RangeAnswer::Deliver(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t piece = std::min(bytes.size(), kBlockBytes);
    const std::shared_ptr<char[]> block = pool_->Take();
    std::memcpy(block.get(), bytes.data(), piece);
    const int64_t before = span_->WantedTaken();
    (void)span_->Take(std::string_view(block.get(), piece), std::shared_ptr<const void>(block, block.get()));
    wanted_received_ += span_->WantedTaken() - before;
    bytes.remove_prefix(piece);
  }
}

std::optional<std::string> RangeAnswer::Finish() const {
  const bool whole = next_span_ == spans_.size() && span_ && span_->Complete() && (!multipart_ || multipart_->Ended());
  if (whole) return std::nullopt;
  int64_t asked = 0;
  for (const RangeRequest& request : spans_) asked += request.span.length;
  return "The server's answer ended before the " + std::to_string(asked) + " bytes asked for were there (" + what_ +
         ")";
}
