// Conversion of Big5 (Traditional Chinese) text to GB2312 (Simplified
// Chinese) by a fixed character table, for users of a Simplified Chinese
// system.
#pragma once

#include <cstdint>
#include <string>

// Number of Big5 double-byte positions: 94 lead bytes x 157 trail bytes.
inline constexpr int kBig5TableSize = 14758;

// The position of the byte pair (lead, trail) in the conversion table, or
// -1 when the trail byte is outside 0x40-0x7E and 0xA1-0xFE. The result
// can exceed the table (lead 0xFF) or be negative (lead below 0xA1).
int Big5Index(unsigned char lead, unsigned char trail);

// The GB2312 code (first byte x 256 + second byte) of the Big5 character
// at `index` (0 to kBig5TableSize - 1); 0x2020 when it has none.
std::uint16_t Big5TableEntry(int index);

// Converts Big5 text to GB2312: each Big5 pair (lead 0xA1 or above, trail
// in 0x40-0x7E or 0xA1-0xFE, index inside the table) becomes the two bytes
// of its table entry; every other byte is copied, so the output is always
// as long as the input. A lone lead byte at the end stays as it is. Pure,
// linear, never fails.
std::string Big5ToGB(const std::string& big5);
