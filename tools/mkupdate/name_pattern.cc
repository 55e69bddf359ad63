#include "name_pattern.h"

#include <cstddef>

namespace mkupdate {

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Matches c against the set starting at pattern[start] (just after '[').
// Returns the position after the closing ']', or npos when the set has no
// closing ']' (the '[' is then an ordinary character).
size_t MatchSet(std::string_view pattern, size_t start, char c, bool& matched) {
  size_t at = start;
  const bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
  if (negated) ++at;
  const unsigned char folded = static_cast<unsigned char>(Folded(c));
  bool in_set = false;
  bool first = true;  // a ']' right after the opening is a member
  while (at < pattern.size() && (first || pattern[at] != ']')) {
    first = false;
    unsigned char low = static_cast<unsigned char>(Folded(pattern[at]));
    unsigned char high = low;
    if (at + 2 < pattern.size() && pattern[at + 1] == '-' && pattern[at + 2] != ']') {
      high = static_cast<unsigned char>(Folded(pattern[at + 2]));
      at += 2;
    }
    if (folded >= low && folded <= high) in_set = true;
    ++at;
  }
  if (at >= pattern.size()) return std::string_view::npos;
  matched = in_set != negated;
  return at + 1;
}

}  // namespace

bool MatchesNamePattern(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0;
  // Where to go on after the last '*' when what followed it fails to match:
  // the '*' then takes one more character.
  size_t star_p = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size()) {
      const char token = pattern[p];
      if (token == '*') {
        star_p = ++p;
        star_n = n;
        continue;
      }
      if (token == '?') {
        ++p, ++n;
        continue;
      }
      if (token == '[') {
        bool matched = false;
        const size_t after = MatchSet(pattern, p + 1, name[n], matched);
        if (after != std::string_view::npos) {
          if (matched) {
            p = after, ++n;
            continue;
          }
        } else if (Folded(name[n]) == '[') {
          ++p, ++n;
          continue;
        }
      } else if (Folded(token) == Folded(name[n])) {
        ++p, ++n;
        continue;
      }
    }
    if (star_p == std::string_view::npos) return false;
    p = star_p;
    n = ++star_n;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace mkupdate
