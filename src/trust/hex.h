// Hexadecimal text of bytes.
#pragma once

#include <string>
#include <string_view>

namespace trust {

// Two lower-case hex digits per byte, in order.
std::string LowerHex(std::string_view bytes);

}  // namespace trust
