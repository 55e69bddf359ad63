#include "trust/trusted_comment.h"

#include "platform/ascii_case.h"
#include "platform/decimal_field.h"

namespace trust {

namespace {

constexpr std::string_view kTimestamp = "timestamp:";
constexpr std::string_view kExpires = "expires:";
constexpr std::string_view kFile = "file:";
// Far more digits than any time in seconds needs; a longer value is no time.
constexpr size_t kMaxDigits = 18;

// Records field value under name in slot, or the problem with it.
void Take(std::string_view name, std::string_view value, std::optional<int64_t>& slot, TrustedTimes& times) {
  if (!times.problem.empty()) return;
  std::string field = std::string(name.substr(0, name.size() - 1));
  if (slot) {
    times.problem = "the trusted comment gives \"" + field + "\" twice";
    return;
  }
  slot = value.size() <= kMaxDigits ? platform::DecimalField(value) : std::nullopt;
  if (!slot) times.problem = "the trusted comment's \"" + field + "\" is not a number of seconds: \"" +
                             std::string(value) + "\"";
}

}  // namespace

TrustedTimes ParseTrustedTimes(std::string_view trusted_comment) {
  TrustedTimes times;
  while (!trusted_comment.empty()) {
    size_t end = trusted_comment.find_first_of(" \t");
    std::string_view field = trusted_comment.substr(0, end);
    trusted_comment.remove_prefix(end == std::string_view::npos ? trusted_comment.size() : end + 1);
    if (field.substr(0, kTimestamp.size()) == kTimestamp)
      Take(kTimestamp, field.substr(kTimestamp.size()), times.timestamp, times);
    else if (field.substr(0, kExpires.size()) == kExpires)
      Take(kExpires, field.substr(kExpires.size()), times.expires, times);
    else if (field.substr(0, kFile.size()) == kFile && times.problem.empty()) {
      if (times.file)
        times.problem = "the trusted comment gives \"file\" twice";
      else
        times.file = std::string(field.substr(kFile.size()));
    }
  }
  return times;
}

std::string SignedFileProblem(const TrustedTimes& times, std::string_view name) {
  if (!times.file)
    return "the trusted comment names no file (\"file:" + std::string(name) + "\"), so the signature may be "
           "another file's";
  if (!platform::EqualIgnoringAsciiCase(*times.file, name))
    return "the signature was made for \"" + *times.file + "\", not for " + std::string(name);
  return "";
}

std::string MakeTrustedComment(int64_t timestamp, std::string_view file, int64_t expires) {
  return std::string(kTimestamp) + std::to_string(timestamp) + "\t" + std::string(kFile) + std::string(file) +
         "\t" + std::string(kExpires) + std::to_string(expires);
}

}  // namespace trust
