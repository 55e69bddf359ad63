#include "app/texts/big5_to_gb.h"

namespace {

// Filled at compile time from the generated data, so the table exists
// before any window and is read-only.
constexpr std::uint16_t kBig5GbTable[kBig5TableSize] = {
#include "app/texts/big5_gb_table.inc"
};

}  // namespace

int Big5Index(unsigned char lead, unsigned char trail) {
  const int row = (lead - 0xA1) * 157;
  if (trail >= 0x40 && trail <= 0x7E) return row + (trail - 0x40);
  if (trail >= 0xA1 && trail <= 0xFE) return row + 63 + (trail - 0xA1);
  return -1;
}

std::uint16_t Big5TableEntry(int index) { return kBig5GbTable[index]; }

std::string Big5ToGB(const std::string& big5) {
  std::string gb(big5.size(), '\0');
  const std::size_t size = big5.size();
  std::size_t i = 0;
  while (i < size) {
    const auto lead = static_cast<unsigned char>(big5[i]);
    if (lead >= 0xA1 && i + 1 < size) {
      const int index = Big5Index(lead, static_cast<unsigned char>(big5[i + 1]));
      if (index >= 0 && index < kBig5TableSize) {
        const std::uint16_t code = kBig5GbTable[index];
        gb[i] = static_cast<char>(code >> 8);
        gb[i + 1] = static_cast<char>(code & 0xFF);
        i += 2;
        continue;
      }
    }
    gb[i] = big5[i];
    ++i;
  }
  return gb;
}
