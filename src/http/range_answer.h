// One HTTP request for spans of a file (Range: bytes=a-b,c-d,...) and the
// checks on its answer: a 206 whose Content-Range, or whose
// multipart/byteranges parts, are exactly the spans asked for, in order.
// The wanted bytes go to the RangeSink, copied out of the HTTP library's buffer
// into blocks the sink may keep.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/byte_ranges_body.h"
#include "platform/block_pool.h"
#include "transport/range_requests.h"

struct FetchFailure;

class RangeAnswer {
 public:
  // `spans` (from MergeRanges of `wanted`) are this request's, in order;
  // `wanted` and `sink` outlive the answer.
  RangeAnswer(const std::vector<ByteRange>& wanted, std::vector<RangeRequest> spans, int64_t served_size,
              const RangeSink& sink);

  // The value of the request's Range header without its unit: "0-99,200-299".
  std::string HeaderValue() const;
  // Judges the answer's status and headers (`what` names the request in
  // texts, "GET x.gz"): nullopt when its body brings the spans; otherwise
  // the failure. A 200 is the whole file, not the spans: refused.
  std::optional<FetchFailure> Open(long status, const std::string& reason, const std::string& content_type,
                                   const std::string& content_range, const std::string& what);
  // Takes the next bytes of the body: nullopt while they are what was
  // asked for, the fault's text once not.
  std::optional<std::string> Take(std::string_view bytes);
  // Once the body has ended: nullopt when every span came whole.
  std::optional<std::string> Finish() const;
  // The wanted bytes the sink has heard.
  int64_t WantedReceived() const { return wanted_received_; }

 private:
  std::optional<std::string> BeginSpan(const ContentRange& range);
  // Hands the current span the next of its bytes.
  void Deliver(std::string_view bytes);

  const std::vector<ByteRange>& wanted_;
  const std::vector<RangeRequest> spans_;
  const int64_t served_size_;
  const RangeSink& sink_;
  std::shared_ptr<platform::BlockPool> pool_;
  std::optional<ByteRangesBody> multipart_;  // for an answer of several parts
  std::optional<SpanSplitter> span_;         // the span whose bytes come now
  size_t next_span_ = 0;                     // the span the next part must bring
  int64_t wanted_received_ = 0;
  std::string what_;
};
