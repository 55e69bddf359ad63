// The text layout shared by minisign's key and signature files: lines of
// "<label>: <text>" and lines of base64, each ended by a line feed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trust::detail {

// The lines of file_text without their ends: a line ends at LF, a CR just
// before it is dropped (a file saved on Windows), and empty lines at the
// end of the file are left out.
std::vector<std::string_view> MinisignLines(std::string_view file_text);

// The text after label + ": " at the start of line, or nothing when line
// does not start so.
std::optional<std::string_view> LabelledText(std::string_view line, std::string_view label);

// The bytes of a base64 line that must hold exactly size bytes. Throws
// ETrustError "<what>: ..." saying whether the line is no base64 or holds
// another number of bytes.
std::string DecodeExactly(std::string_view line, size_t size, const std::string& what);

// The 2-byte algorithm name for messages: printable as it is, else in hex.
std::string AlgorithmText(std::string_view two_bytes);

}  // namespace trust::detail
