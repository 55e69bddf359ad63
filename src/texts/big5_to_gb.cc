#include "texts/big5_to_gb.h"

#include <array>

namespace {

// Filled at compile time from the generated data, so the table exists
// before any window and is read-only.
constexpr std::uint16_t kBig5GbTable[kBig5TableSize] = {
#include "texts/big5_gb_table.inc"
};

// Column of each trail byte within a lead byte's 157 positions, -1 for a
// byte that is no trail. A lookup instead of two range tests keeps the
// conversion loop free of hard-to-predict branches.
constexpr auto kTrailColumn = [] {
  std::array<std::int16_t, 256> column{};
  for (int trail = 0; trail < 256; ++trail) {
    if (trail >= 0x40 && trail <= 0x7E) {
      column[trail] = static_cast<std::int16_t>(trail - 0x40);
    } else if (trail >= 0xA1 && trail <= 0xFE) {
      column[trail] = static_cast<std::int16_t>(63 + trail - 0xA1);
    } else {
      column[trail] = -1;
    }
  }
  return column;
}();

}  // namespace

int Big5Index(unsigned char lead, unsigned char trail) {
  const int column = kTrailColumn[trail];
  return column < 0 ? -1 : (lead - 0xA1) * 157 + column;
}

std::uint16_t Big5TableEntry(int index) { return kBig5GbTable[index]; }

std::string Big5ToGB(const std::string& big5) {
  std::string gb(big5.size(), '\0');
  const auto* in = reinterpret_cast<const unsigned char*>(big5.data());
  auto* out = reinterpret_cast<unsigned char*>(gb.data());
  const std::size_t size = big5.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = in[i];
    // Lead 0xFF lies past the table's last row, so it is copied too.
    if (lead >= 0xA1 && lead != 0xFF && i + 1 < size) {
      const int column = kTrailColumn[in[i + 1]];
      if (column >= 0) {
        const std::uint16_t code = kBig5GbTable[(lead - 0xA1) * 157 + column];
        out[i] = static_cast<unsigned char>(code >> 8);
        out[i + 1] = static_cast<unsigned char>(code & 0xFF);
        i += 2;
        continue;
      }
    }
    out[i] = lead;
    ++i;
  }
  return gb;
}
