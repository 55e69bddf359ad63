#include "http/content_range.h"

#include "platform/ascii_case.h"

namespace {

void SkipSpaces(std::string_view& text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
}

// Takes the decimal number at the start of `text`; nullopt when none is
// there or it does not fit.
std::optional<int64_t> TakeNumber(std::string_view& text) {
  int64_t value = 0;
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    if (value > (INT64_MAX - 9) / 10) return std::nullopt;
    value = value * 10 + (text[digits] - '0');
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  return value;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  SkipSpaces(value);
  constexpr std::string_view kUnit = "bytes";
  if (value.size() <= kUnit.size() || !platform::EqualIgnoringAsciiCase(value.substr(0, kUnit.size()), kUnit))
    return std::nullopt;
  value.remove_prefix(kUnit.size());
  if (value.front() != ' ' && value.front() != '\t') return std::nullopt;
  SkipSpaces(value);
  ContentRange range;
  const std::optional<int64_t> first = TakeNumber(value);
  if (!first || !TakeChar(value, '-')) return std::nullopt;
  const std::optional<int64_t> last = TakeNumber(value);
  if (!last || *last < *first || !TakeChar(value, '/')) return std::nullopt;
  range.first = *first;
  range.last = *last;
  if (!TakeChar(value, '*')) {
    const std::optional<int64_t> complete = TakeNumber(value);
    if (!complete || *complete <= *last) return std::nullopt;
    range.complete = *complete;
  }
  SkipSpaces(value);
  if (!value.empty()) return std::nullopt;
  return range;
}
