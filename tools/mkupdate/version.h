// Version texts of the server list. The updater compares them byte by byte
// as unsigned values, a prefix being smaller, so "10" < "9": versions are
// only safe when every version of a set has the same width. New versions
// here keep that width and always compare greater than every version the
// set has issued.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace mkupdate {

// Width of the versions of a new set: a UTC date and a two-digit counter,
// YYYYMMDDnn.
inline constexpr size_t kDefaultVersionWidth = 10;

// The updater's order: negative, zero or positive as a < b, a == b, a > b.
int CompareVersions(const std::string& a, const std::string& b);

// The smallest text of the same width greater than version by counting up
// the last position that can count: digits 0-9 and letters a-z / A-Z each
// within their range (carrying to the left and resetting the positions to
// their right to '0', 'a' or 'A'); other bytes are passed over. Empty when
// no position can count up (all 9s, for example).
std::optional<std::string> IncrementVersion(const std::string& version);

// The version for this publication's new and changed files: the UTC date of
// `now` as YYYYMMDD padded with '0' to `width` (when width is at least 8),
// or, when that is not greater than high_water, the increment of
// high_water. Throws Exception when no greater text of that width exists.
std::string NextReleaseVersion(const std::string& high_water, size_t width, std::time_t now);

// The greatest of the texts in the updater's order ("" for none).
std::string GreatestVersion(const std::vector<std::string>& versions);

}  // namespace mkupdate
