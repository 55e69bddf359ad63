// The multipart/byteranges reader takes a server's answer in any pieces
// and gives exactly each part's range and bytes; whatever is malformed
// or unbounded ends the reading with a fault instead.
#include "http/byte_ranges_body.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Heard {
  std::vector<std::string> ranges;  // "first-last/complete" per part
  std::vector<std::string> bytes;   // per part
};

// Reads `body` in pieces of `piece` bytes; the fault, or "" when none.
std::string Read(const std::string& body, size_t piece, Heard& heard, bool& ended) {
  ByteRangesBody reader(
      "B0UND",
      [&heard](const ContentRange& range) -> std::optional<std::string> {
        heard.ranges.push_back(std::to_string(range.first) + "-" + std::to_string(range.last) + "/" +
                               std::to_string(range.complete));
        heard.bytes.emplace_back();
        if (range.first == 666) return "a refused part";
        return std::nullopt;
      },
      [&heard](std::string_view bytes) { heard.bytes.back() += bytes; });
  std::optional<std::string> fault;
  for (size_t at = 0; at < body.size() && !fault; at += piece)
    fault = reader.Take(std::string_view(body).substr(at, piece));
  ended = reader.Ended();
  return fault.value_or("");
}

std::string Repeated(const std::string& line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += line;
  return text;
}

std::string Part(const std::string& range, const std::string& bytes) {
  return "--B0UND\r\nContent-Type: application/octet-stream\r\nContent-Range: bytes " + range + "\r\n\r\n" + bytes +
         "\r\n";
}

TEST(ByteRangesBodyTest, TheBoundaryComesFromTheContentType) {
  EXPECT_EQ(ByteRangesBoundary("multipart/byteranges; boundary=00000000000000000001"), "00000000000000000001");
  EXPECT_EQ(ByteRangesBoundary("Multipart/ByteRanges;charset=x; BOUNDARY=\"a b\""), "a b");
  EXPECT_EQ(ByteRangesBoundary("application/octet-stream"), std::nullopt);
  EXPECT_EQ(ByteRangesBoundary("multipart/byteranges"), std::nullopt);
  EXPECT_EQ(ByteRangesBoundary("multipart/byteranges; boundary="), std::nullopt);
  EXPECT_EQ(ByteRangesBoundary("multipart/byteranges; boundary=" + std::string(71, 'x')), std::nullopt);
}

TEST(ByteRangesBodyTest, PartsArriveWholeWhateverThePieces) {
  // Bytes that look like the framing do not confuse it: a part's length
  // comes from its range, not from a search for the boundary.
  const std::string tricky = "\r\n--B0UND\r\n\r\n--B0UND--\r\n";
  const std::string second = "10-" + std::to_string(9 + tricky.size()) + "/100";
  const std::string body = "\r\n" + Part("0-0/100", "a") + Part(second, tricky) + "--B0UND--\r\nepilogue";
  for (const size_t piece : {size_t{1}, size_t{5}, body.size()}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    Heard heard;
    bool ended = false;
    EXPECT_EQ(Read(body, piece, heard, ended), "");
    EXPECT_TRUE(ended);
    EXPECT_EQ(heard.ranges, (std::vector<std::string>{"0-0/100", second}));
    EXPECT_EQ(heard.bytes, (std::vector<std::string>{"a", tricky}));
  }
  // A preamble before the first boundary, bare line ends, padding after
  // a boundary: still well formed.
  Heard heard;
  bool ended = false;
  EXPECT_EQ(Read("preamble\n--B0UND \nContent-Range: bytes 5-6/*\n\nxy\n--B0UND--", 3, heard, ended), "");
  EXPECT_TRUE(ended);
  EXPECT_EQ(heard.bytes, std::vector<std::string>{"xy"});
  EXPECT_EQ(heard.ranges, std::vector<std::string>{"5-6/-1"});
}

TEST(ByteRangesBodyTest, MalformedOrUnboundedAnswersEndWithAFault) {
  const struct {
    const char* name;
    std::string body;
    const char* fault;
  } cases[] = {
      {"a part longer than its range", Part("0-1/10", "abc") + "--B0UND--\r\n", "more bytes than its Content-Range"},
      {"no Content-Range", "--B0UND\r\nContent-Type: x\r\n\r\nab\r\n", "a part without a Content-Range"},
      {"another unit", "--B0UND\r\nContent-Range: lines 0-1/10\r\n\r\n", "not a range of bytes"},
      {"no boundary after a part", Part("0-1/10", "ab") + "--OTHER--\r\n", "no boundary line after a part"},
      {"closed before any part", "--B0UND--\r\n", "before any part"},
      {"a refused part", Part("666-667/1000", "ab"), "a refused part"},
      {"an endless preamble", std::string(5000, 'p') + "\n", "a line of more than"},
      {"an endless preamble of lines", std::string(5000, '\n'), "no boundary line within"},
      {"endless headers", "--B0UND\r\n" + Repeated("X-Padding: y\r\n", 1000), "headers run past"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Heard heard;
    bool ended = false;
    const std::string fault = Read(c.body, 7, heard, ended);
    EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
    EXPECT_FALSE(ended);
  }
  // An answer cut off inside a part is no fault of its form, but it has
  // not ended.
  Heard heard;
  bool ended = false;
  EXPECT_EQ(Read(Part("0-9/10", "abc").substr(0, 60), 4, heard, ended), "");
  EXPECT_FALSE(ended);
}

}  // namespace
