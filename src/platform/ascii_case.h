// Case folding of the ASCII letters only, as the game's name comparisons
// do it: bytes outside A-Z/a-z (Big5 lead bytes included) compare exactly,
// while a Big5 trail byte in the letter range folds like a letter.
#pragma once

#include <string>
#include <string_view>

namespace platform {

inline char FoldAsciiCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// text with A-Z made a-z.
inline std::string FoldAsciiCase(std::string text) {
  for (char& c : text) c = FoldAsciiCase(c);
  return text;
}

// text with a-z made A-Z; every other byte as it is, whatever the locale.
inline std::string UpperAsciiCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// True when a and b have the same length and equal bytes up to the case of a-z.
inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

}  // namespace platform
