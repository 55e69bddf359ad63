#include "trust/minisign_text.h"

#include "trust/base64.h"
#include "trust/hex.h"
#include "trust/trust_error.h"

namespace trust::detail {

std::vector<std::string_view> MinisignLines(std::string_view file_text) {
  std::vector<std::string_view> lines;
  while (!file_text.empty()) {
    size_t end = file_text.find('\n');
    std::string_view line = file_text.substr(0, end);
    // Line ends of any system, as minisign reads them: every CR before the LF.
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    file_text.remove_prefix(end == std::string_view::npos ? file_text.size() : end + 1);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

std::optional<std::string_view> LabelledText(std::string_view line, std::string_view label) {
  if (line.size() < label.size() + 2 || line.substr(0, label.size()) != label ||
      line.substr(label.size(), 2) != ": ")
    return std::nullopt;
  return line.substr(label.size() + 2);
}

std::string DecodeExactly(std::string_view line, size_t size, const std::string& what) {
  std::optional<std::string> bytes = Base64Decode(line);
  if (!bytes) throw ETrustError(what + ": the line is not base64");
  if (bytes->size() != size)
    throw ETrustError(what + ": " + std::to_string(bytes->size()) + " bytes instead of " + std::to_string(size));
  return *bytes;
}

std::string AlgorithmText(std::string_view two_bytes) {
  for (char c : two_bytes)
    if (c < 0x21 || c > 0x7E) return "0x" + LowerHex(two_bytes);
  return "\"" + std::string(two_bytes) + "\"";
}

}  // namespace trust::detail
