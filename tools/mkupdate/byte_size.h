// Sizes given on the command line: a decimal count of bytes, or one with
// the suffix K, M or G (KiB, MiB, GiB; either case): "4194304", "512K", "4M".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mkupdate {

// The number of bytes `text` names, or none when it is no such size or
// is past 2^63 - 1 bytes.
std::optional<int64_t> ParseByteSize(std::string_view text);

}  // namespace mkupdate
