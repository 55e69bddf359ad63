#include "texts/big5_to_gb.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// One iconv conversion of a whole string; nullopt when iconv refuses it.
std::optional<std::string> Convert(const char* to, const char* from, const std::string& text) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(text.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  const std::size_t result = iconv(cd, &in, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (result == static_cast<std::size_t>(-1) || in_left != 0) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

std::string Utf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

// "U+4E2D" or "U+4E2D+U+5B57" to UTF-8; "-" to nullopt.
std::optional<std::string> ParseCodePoints(const std::string& field) {
  if (field == "-") return std::nullopt;
  std::string text;
  std::stringstream parts(field);
  std::string part;
  while (std::getline(parts, part, '+')) {
    if (part == "U") continue;
    text += Utf8(static_cast<char32_t>(std::stoul(part, nullptr, 16)));
  }
  return text;
}

struct Expectation {
  int index;
  std::string big5_hex;
  std::optional<std::string> traditional;
  std::optional<std::string> simplified;
};

std::vector<Expectation> LoadExpectations() {
  std::ifstream in(UPDATER_SOURCE_DIR "/tests/texts/data/big5_simplified.txt");
  std::vector<Expectation> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::stringstream fields(line);
    Expectation row;
    std::string traditional, simplified;
    fields >> row.index >> row.big5_hex >> traditional >> simplified;
    row.traditional = ParseCodePoints(traditional);
    row.simplified = ParseCodePoints(simplified);
    rows.push_back(row);
  }
  return rows;
}

std::string Bytes(std::initializer_list<unsigned char> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::string EntryBytes(std::uint16_t entry) {
  return Bytes({static_cast<unsigned char>(entry >> 8), static_cast<unsigned char>(entry & 0xFF)});
}

}  // namespace

// Every entry decodes (as GB2312) to the simplified form of its Big5
// character, or to the character itself when only that has a GB2312 code,
// and is two spaces exactly when neither has one.
TEST(Big5ToGBTable, EveryEntryIsTheSimplifiedFormOfItsBig5Character) {
  const std::vector<Expectation> rows = LoadExpectations();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kBig5TableSize));
  int mapped = 0;
  for (const Expectation& row : rows) {
    SCOPED_TRACE("Big5 0x" + row.big5_hex + ", index " + std::to_string(row.index));
    const int lead = std::stoi(row.big5_hex.substr(0, 2), nullptr, 16);
    const int trail = std::stoi(row.big5_hex.substr(2, 2), nullptr, 16);
    ASSERT_EQ(Big5Index(lead, trail), row.index);

    // The expected file must agree with this machine's Big5 decoder.
    const auto decoded = Convert("UTF-8", "BIG5", Bytes({static_cast<unsigned char>(lead),
                                                         static_cast<unsigned char>(trail)}));
    EXPECT_EQ(decoded, row.traditional);

    std::optional<std::string> wanted;
    for (const auto& candidate : {row.simplified, row.traditional}) {
      if (wanted || !candidate) continue;
      const auto gb = Convert("GB2312", "UTF-8", *candidate);
      if (gb && gb->size() == 2) wanted = candidate;
    }
    const std::uint16_t entry = Big5TableEntry(row.index);
    if (row.index == 0 || !wanted) {
      EXPECT_EQ(entry, 0x2020);
      continue;
    }
    ++mapped;
    EXPECT_EQ(Convert("UTF-8", "GB2312", EntryBytes(entry)), wanted);
  }
  EXPECT_GT(mapped, 7000);  // all of GB2312's hanzi that Big5 can reach
}

TEST(Big5ToGBTable, TellingRows) {
  const struct {
    unsigned char lead, trail;
    int index;
    std::uint16_t entry;
  } rows[] = {
      {0xA1, 0x40, 0, 0x2020},    {0xA1, 0x41, 1, 0xA3AC},    {0xA1, 0x42, 2, 0xA1A2},
      {0xA1, 0x43, 3, 0xA1A3},    {0xA4, 0xA4, 537, 0xD6D0},  {0xA7, 0xF3, 1087, 0xB8FC},
      {0xB0, 0xEA, 2491, 0xB9FA}, {0xB7, 0x73, 3505, 0xD0C2}, {0xC0, 0xC9, 4970, 0xB5B5},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("index " + std::to_string(row.index));
    EXPECT_EQ(Big5Index(row.lead, row.trail), row.index);
    EXPECT_EQ(Big5TableEntry(row.index), row.entry);
    EXPECT_EQ(Big5ToGB(Bytes({row.lead, row.trail})), EntryBytes(row.entry));
  }
  EXPECT_EQ(Big5Index(0xFE, 0xFE), kBig5TableSize - 1);
  EXPECT_EQ(Big5Index(0xA1, 0x7F), -1);
  EXPECT_EQ(Big5Index(0xA1, 0xA0), -1);
  EXPECT_EQ(Big5Index(0xA1, 0xFF), -1);
}

TEST(Big5ToGB, BytesThatAreNotBig5PairsPassThrough) {
  {
    SCOPED_TRACE("empty and one byte");
    EXPECT_EQ(Big5ToGB(""), "");
    EXPECT_EQ(Big5ToGB("a"), "a");
    EXPECT_EQ(Big5ToGB(Bytes({0xB0})), Bytes({0xB0}));
  }
  {
    SCOPED_TRACE("ASCII alone and mixed with Big5");
    EXPECT_EQ(Big5ToGB("update3.dat 12 of 345"), "update3.dat 12 of 345");
    // 國 + "5" + 檔 + " of " + 中
    EXPECT_EQ(Big5ToGB(Bytes({0xB0, 0xEA, '5', 0xC0, 0xC9, ' ', 'o', 'f', ' ', 0xA4, 0xA4})),
              Bytes({0xB9, 0xFA, '5', 0xB5, 0xB5, ' ', 'o', 'f', ' ', 0xD6, 0xD0}));
  }
  {
    SCOPED_TRACE("lead byte at the end");
    EXPECT_EQ(Big5ToGB(Bytes({0xA4, 0xA4, 0xB0})), Bytes({0xD6, 0xD0, 0xB0}));
  }
  {
    SCOPED_TRACE("ideographic space becomes two spaces");
    EXPECT_EQ(Big5ToGB(Bytes({'a', 0xA1, 0x40, 'b'})), "a  b");
  }
  {
    SCOPED_TRACE("a lead byte before a byte that is no trail stays one byte");
    EXPECT_EQ(Big5ToGB(Bytes({0xA4, 0x20, 0xA4, 0xA4})), Bytes({0xA4, 0x20, 0xD6, 0xD0}));
    EXPECT_EQ(Big5ToGB(Bytes({0xA4, 0x7F})), Bytes({0xA4, 0x7F}));
  }
  {
    SCOPED_TRACE("lead 0xFF lies outside the table: byte by byte");
    // 0xFF is copied, then 0xA4 0xA4 forms 中.
    EXPECT_EQ(Big5ToGB(Bytes({0xFF, 0xA4, 0xA4})), Bytes({0xFF, 0xD6, 0xD0}));
  }
  {
    SCOPED_TRACE("an ASCII trail byte pairs with a lead byte");
    // 0xA4 0x40 is 一 (a pair whose trail is '@').
    EXPECT_EQ(Big5ToGB(Bytes({0xA4, 0x40})), EntryBytes(Big5TableEntry(Big5Index(0xA4, 0x40))));
    EXPECT_EQ(Big5ToGB(Bytes({0xA4, 0x40})), Bytes({0xD2, 0xBB}));
  }
}

TEST(Big5ToGB, EveryPairOfBytesIsAnEntryOrCopied) {
  for (int lead = 0; lead < 256; ++lead) {
    for (int trail = 0; trail < 256; ++trail) {
      const std::string input =
          Bytes({static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)});
      const int index = lead >= 0xA1 ? Big5Index(lead, trail) : -1;
      const bool in_table = index >= 0 && index < kBig5TableSize;
      ASSERT_EQ(Big5ToGB(input), in_table ? EntryBytes(Big5TableEntry(index)) : input)
          << std::hex << lead << " " << trail;
    }
  }
}
