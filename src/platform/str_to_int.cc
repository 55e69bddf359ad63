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

// The value of text as a signed integer of `bits` (32 or 64) bits.
int64_t ParseInteger(const std::string& text, int bits) {
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
  // Hexadecimal text may spell the full bit pattern ("$FFFFFFFF" is -1 in
  // 32 bits); decimal text must fit the signed range.
  const uint64_t all_bits = bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
  const uint64_t sign_bit = uint64_t{1} << (bits - 1);
  const uint64_t limit = base == 16 ? all_bits : (negative ? sign_bit : sign_bit - 1);
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = base == 16 ? HexDigitValue(text[i])
                                 : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) throw fail();
    // Checked before the multiplication, which could wrap 64 bits.
    if (value > (limit - digit) / base) throw fail();
    value = value * base + digit;
  }
  uint64_t pattern = (negative ? 0u - value : value) & all_bits;
  if (pattern & sign_bit) pattern |= ~all_bits;  // sign-extended to 64 bits
  return static_cast<int64_t>(pattern);
}

}  // namespace

int StrToInt(const std::string& text) { return static_cast<int>(ParseInteger(text, 32)); }

int64_t StrToInt64(const std::string& text) { return ParseInteger(text, 64); }

}  // namespace platform
