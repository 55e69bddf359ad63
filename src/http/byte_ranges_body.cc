#include "http/byte_ranges_body.h"

#include <algorithm>

#include "platform/ascii_case.h"

namespace {

// Bounds on what stands around the bytes: a server's preamble, a part's
// headers, one line. Real servers send a few dozen bytes of each.
constexpr size_t kMostPreambleBytes = 4096;
constexpr size_t kMostHeaderBytes = 8192;
constexpr size_t kMostLineBytes = 1024;
constexpr size_t kMostBoundaryBytes = 70;

std::string_view TrimmedSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && platform::EqualIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

std::optional<std::string> ByteRangesBoundary(std::string_view content_type) {
  const size_t semicolon = content_type.find(';');
  if (!platform::EqualIgnoringAsciiCase(TrimmedSpaces(content_type.substr(0, semicolon)), "multipart/byteranges"))
    return std::nullopt;
  std::string_view parameters = semicolon == std::string_view::npos ? "" : content_type.substr(semicolon + 1);
  while (!parameters.empty()) {
    const size_t end = parameters.find(';');
    std::string_view parameter = TrimmedSpaces(parameters.substr(0, end));
    parameters = end == std::string_view::npos ? "" : parameters.substr(end + 1);
    if (!StartsWithIgnoringCase(parameter, "boundary=")) continue;
    std::string_view value = parameter.substr(9);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.empty() || value.size() > kMostBoundaryBytes) return std::nullopt;
    return std::string(value);
  }
  return std::nullopt;
}

ByteRangesBody::ByteRangesBody(std::string boundary, PartBegins begins, PartBytes bytes)
    : boundary_(std::move(boundary)), begins_(std::move(begins)), bytes_(std::move(bytes)) {}

std::optional<std::string> ByteRangesBody::Take(std::string_view bytes) {
  while (!bytes.empty() && state_ != State::kFailed && state_ != State::kEpilogue) {
    if (state_ == State::kBody) {
      const size_t piece = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(bytes.size())));
      if (bytes_) bytes_(bytes.substr(0, piece));
      bytes.remove_prefix(piece);
      left_ -= static_cast<int64_t>(piece);
      if (left_ == 0) state_ = State::kBodyEnd;
      continue;
    }
    const size_t lf = bytes.find('\n');
    const size_t taken = lf == std::string_view::npos ? bytes.size() : lf + 1;
    if (line_.size() + taken > kMostLineBytes) {
      Fail("a line of more than " + std::to_string(kMostLineBytes) + " bytes");
      break;
    }
    line_.append(bytes.substr(0, taken));
    bytes.remove_prefix(taken);
    if (lf == std::string_view::npos) {
      // The closing boundary needs no line end after it.
      if (state_ == State::kDelimiter && line_ == "--" + boundary_ + "--") state_ = State::kEpilogue;
      break;
    }
    std::string line = std::move(line_);
    line_.clear();
    TakeLine(line);
  }
  if (state_ == State::kFailed) return fault_;
  return std::nullopt;
}

bool ByteRangesBody::IsDelimiter(std::string_view line, bool& closing) const {
  if (line.size() < 2 + boundary_.size() || line.substr(0, 2) != "--" || line.substr(2, boundary_.size()) != boundary_)
    return false;
  std::string_view rest = line.substr(2 + boundary_.size());
  closing = rest.substr(0, 2) == "--";
  if (closing) rest.remove_prefix(2);
  // Only white space may follow on the line (the transport padding).
  return TrimmedSpaces(rest).empty();
}

void ByteRangesBody::TakeLine(std::string_view line) {
  const size_t line_end = line.size() >= 2 && line[line.size() - 2] == '\r' ? 2 : 1;
  const std::string_view text = line.substr(0, line.size() - line_end);
  bool closing = false;
  switch (state_) {
    case State::kPreamble:
      lines_bytes_ += line.size();
      if (IsDelimiter(text, closing)) {
        if (closing) {
          Fail("the closing boundary came before any part");
          return;
        }
        state_ = State::kHeaders;
        lines_bytes_ = 0;
        range_.reset();
      } else if (lines_bytes_ > kMostPreambleBytes) {
        Fail("no boundary line within the first " + std::to_string(kMostPreambleBytes) + " bytes");
      }
      return;
    case State::kHeaders:
      lines_bytes_ += line.size();
      if (lines_bytes_ > kMostHeaderBytes) {
        Fail("a part's headers run past " + std::to_string(kMostHeaderBytes) + " bytes");
      } else if (text.empty()) {
        if (!range_) {
          Fail("a part without a Content-Range");
          return;
        }
        if (std::optional<std::string> fault = begins_ ? begins_(*range_) : std::nullopt) {
          Fail(*fault);
          return;
        }
        left_ = range_->last - range_->first + 1;
        state_ = State::kBody;
      } else if (StartsWithIgnoringCase(text, "content-range:")) {
        range_ = ParseContentRange(text.substr(14));
        if (!range_) Fail("a part's Content-Range is not a range of bytes: " + std::string(text.substr(14)));
      }
      return;
    case State::kBodyEnd:
      // The line end that belongs to the boundary after the bytes.
      if (!text.empty()) {
        Fail("a part holds more bytes than its Content-Range");
      } else {
        state_ = State::kDelimiter;
      }
      return;
    case State::kDelimiter:
      if (!IsDelimiter(text, closing)) {
        Fail("no boundary line after a part");
      } else if (closing) {
        state_ = State::kEpilogue;
      } else {
        state_ = State::kHeaders;
        lines_bytes_ = 0;
        range_.reset();
      }
      return;
    case State::kBody:
    case State::kEpilogue:
    case State::kFailed:
      return;
  }
}

void ByteRangesBody::Fail(std::string text) {
  state_ = State::kFailed;
  fault_ = "multipart/byteranges answer with " + std::move(text);
}
