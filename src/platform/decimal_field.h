// The one reading of a decimal count in text that comes from outside (a
// list field, a server's reply, a signature's comment).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// The value of a field that holds a decimal count (a size, a time in
// seconds): digits only, up to 2^63 - 1; nullopt for anything else (a
// sign, a space, an empty field, a value past 64 bits).
std::optional<int64_t> DecimalField(std::string_view field);

}  // namespace platform
