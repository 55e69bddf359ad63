// Base64 (RFC 4648, standard alphabet, '=' padding) as minisign writes its
// keys and signatures: one line per binary part.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trust {

std::string Base64Encode(std::string_view bytes);

// The bytes of text, or nothing when text is not canonical base64: a
// length that is not a multiple of 4, a character outside the alphabet,
// padding anywhere but at the end, or bits left over in the last group.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace trust
