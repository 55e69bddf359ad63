// Integer parsing with the rules of the Windows run-time library's StrToInt:
// leading blanks, an optional sign, then decimal digits or '$'/"0x"
// followed by hexadecimal digits; nothing may follow the number.
#include <cstdint>
#include <string>

#include "platform/errors.h"

namespace platform {

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int StrToInt(const std::string& text) {
  const auto fail = [&text]() {
    return EConvertError("'" + text + "' is not a valid integer value");
  };
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) throw fail();
  // Hexadecimal text may spell the full 32-bit pattern ("$FFFFFFFF" is -1);
  // decimal text must fit the signed range.
  const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = base == 16 ? HexDigitValue(text[i])
                                 : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) throw fail();
    value = value * base + digit;
    if (value > limit) throw fail();
  }
  const auto bits = static_cast<uint32_t>(value);
  const auto result = static_cast<int32_t>(negative ? 0u - bits : bits);
  return result;
}

}  // namespace platform
