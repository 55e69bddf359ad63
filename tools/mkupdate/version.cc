#include "version.h"

#include <cstring>

#include "utc_time.h"
#include "platform/errors.h"

namespace mkupdate {

int CompareVersions(const std::string& a, const std::string& b) {
  size_t common = std::min(a.size(), b.size());
  int order = std::memcmp(a.data(), b.data(), common);  // memcmp compares unsigned bytes
  if (order != 0) return order;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::optional<std::string> IncrementVersion(const std::string& version) {
  std::string next = version;
  for (size_t i = next.size(); i-- > 0;) {
    char& c = next[i];
    char low, high;
    if (c >= '0' && c <= '9') {
      low = '0', high = '9';
    } else if (c >= 'a' && c <= 'z') {
      low = 'a', high = 'z';
    } else if (c >= 'A' && c <= 'Z') {
      low = 'A', high = 'Z';
    } else {
      continue;  // cannot count; the carry moves on to the left
    }
    if (c < high) {
      ++c;
      return next;
    }
    c = low;
  }
  return std::nullopt;
}

std::string NextReleaseVersion(const std::string& high_water, size_t width, std::time_t now) {
  if (width >= 8) {
    const std::tm utc = UtcTime(now);
    char date[48];
    std::snprintf(date, sizeof date, "%04d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday);
    std::string stamp = std::string(date).substr(0, 8) + std::string(width - 8, '0');
    if (CompareVersions(stamp, high_water) > 0) return stamp;
  }
  std::string base = high_water;
  if (base.size() != width) base = std::string(width, '0');
  std::optional<std::string> next = IncrementVersion(base);
  if (!next || CompareVersions(*next, high_water) <= 0)
    throw Exception("No version of width " + std::to_string(width) + " compares greater than \"" + high_water +
                    "\"; give one with --version (all versions of the set must then be republished)");
  return *next;
}

std::string GreatestVersion(const std::vector<std::string>& versions) {
  std::string greatest;
  for (const std::string& v : versions)
    if (CompareVersions(v, greatest) > 0) greatest = v;
  return greatest;
}

}  // namespace mkupdate
