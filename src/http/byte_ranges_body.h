// The body of a "multipart/byteranges" answer, the one a server gives to
// a request for several ranges of a file: parts, each with its
// Content-Range header and exactly that range's bytes, between boundary
// lines. Read as it arrives, in pieces of any size, without I/O; the
// input is the server's, so every length is bounded and checked.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "http/content_range.h"

// The boundary of a Content-Type value "multipart/byteranges; boundary=B"
// (the type in any case, the boundary bare or quoted, other parameters
// allowed); nullopt for another type, or a boundary missing, empty or
// longer than 70 characters.
std::optional<std::string> ByteRangesBoundary(std::string_view content_type);

class ByteRangesBody {
 public:
  // Told of each part as its headers end: its range. A fault's text
  // refuses the part and ends the reading.
  using PartBegins = std::function<std::optional<std::string>(const ContentRange& range)>;
  // The part's bytes, in order; as many in all as its range holds.
  using PartBytes = std::function<void(std::string_view bytes)>;

  ByteRangesBody(std::string boundary, PartBegins begins, PartBytes bytes);

  // Reads the next bytes of the body. nullopt while it is well formed;
  // once not, the fault's text, for this and every later call. Bytes after
  // the closing boundary line are ignored.
  std::optional<std::string> Take(std::string_view bytes);
  // The closing boundary line has come.
  bool Ended() const { return state_ == State::kEpilogue; }

 private:
  enum class State { kPreamble, kHeaders, kBody, kBodyEnd, kDelimiter, kEpilogue, kFailed };

  // Takes one whole line (its LF included) in the states that read lines.
  void TakeLine(std::string_view line);
  void Fail(std::string text);
  // Whether `line` (without its line end) is the boundary line, and
  // whether the closing one.
  bool IsDelimiter(std::string_view line, bool& closing) const;

  const std::string boundary_;
  PartBegins begins_;
  PartBytes bytes_;
  State state_ = State::kPreamble;
  std::string line_;           // the line being read
  size_t lines_bytes_ = 0;     // bytes of the preamble, or of the part's headers, so far
  std::optional<ContentRange> range_;  // the part's, once its header came
  int64_t left_ = 0;           // bytes of the part's body still to come
  std::string fault_;
};
