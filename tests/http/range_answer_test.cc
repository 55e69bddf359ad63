// An answer to a request for ranges is taken only when it is exactly the
// spans asked for: the whole file, another range, a part too many or too
// few, or another file's length fail the request instead of reaching the
// sink as the wanted bytes.
#include "http/range_answer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/http_fetch.h"

namespace {

const std::vector<ByteRange> kWanted{{0, 4}, {6, 2}, {100, 5}};

struct Outcome {
  std::string fault;  // "" when the answer was taken whole
  std::vector<std::string> heard = std::vector<std::string>(3);
};

// Feeds an answer for spans `first`..`first + count` of kWanted merged
// over a 2-byte gap (spans 0-7 and 100-104 of a 200-byte file).
Outcome Answer(long status, const std::string& type, const std::string& range, const std::string& body) {
  Outcome outcome;
  const RangeSink sink = [&outcome](size_t index, std::string_view bytes, const std::shared_ptr<const void>& owner) {
    EXPECT_NE(owner, nullptr);
    outcome.heard[index] += bytes;
  };
  RangeAnswer answer(kWanted, MergeRanges(kWanted, 2), 200, sink);
  EXPECT_EQ(answer.HeaderValue(), "0-7,100-104");
  if (std::optional<FetchFailure> failure = answer.Open(status, "", type, range, "GET x")) {
    EXPECT_EQ(failure->kind, DownloadFailure::kRefused);
    outcome.fault = failure->text;
    return outcome;
  }
  if (std::optional<std::string> fault = answer.Take(body)) {
    outcome.fault = *fault;
    return outcome;
  }
  outcome.fault = answer.Finish().value_or("");
  return outcome;
}

std::string Part(const std::string& range, const std::string& bytes) {
  return "\r\n--XX\r\nContent-Range: bytes " + range + "\r\n\r\n" + bytes;
}

const std::string kMultipart = "multipart/byteranges; boundary=XX";

TEST(RangeAnswerTest, TheSpansAskedForReachTheSinkWithoutTheGap) {
  const Outcome outcome =
      Answer(206, kMultipart, "", Part("0-7/200", "abcd--ef") + Part("100-104/200", "vwxyz") + "\r\n--XX--\r\n");
  EXPECT_EQ(outcome.fault, "");
  EXPECT_EQ(outcome.heard, (std::vector<std::string>{"abcd", "ef", "vwxyz"}));
}

TEST(RangeAnswerTest, AnyOtherAnswerFailsTheRequest) {
  const struct {
    const char* name;
    long status;
    std::string type;
    std::string range;
    std::string body;
    const char* fault;
  } cases[] = {
      {"the whole file", 200, "application/octet-stream", "", std::string(200, 'x'), "whole file"},
      {"absent", 404, "text/html", "", "", "404 (GET x)"},
      {"one part for two spans", 206, "application/octet-stream", "bytes 0-104/200", "", "with one part"},
      {"another first range", 206, kMultipart, "", Part("1-8/200", "bcd--efg"), "bytes 1-8/200 where 0-7/200"},
      {"another file's length", 206, kMultipart, "", Part("0-7/300", "abcd--ef"), "bytes 0-7/300 where 0-7/200"},
      {"the spans in another order", 206, kMultipart, "", Part("100-104/200", "vwxyz"), "where 0-7/200"},
      {"a part too few", 206, kMultipart, "", Part("0-7/200", "abcd--ef") + "\r\n--XX--\r\n", "ended before"},
      {"a part too many", 206, kMultipart, "",
       Part("0-7/200", "abcd--ef") + Part("100-104/200", "vwxyz") + Part("150-150/200", "!"), "more parts than"},
      {"cut off", 206, kMultipart, "", Part("0-7/200", "abcd--ef") + Part("100-104/200", "vw"), "ended before"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Answer(c.status, c.type, c.range, c.body);
    EXPECT_NE(outcome.fault.find(c.fault), std::string::npos) << outcome.fault;
  }
}

TEST(RangeAnswerTest, ASingleSpanComesAsAPlainPartialAnswer) {
  const std::vector<ByteRange> wanted{{10, 3}};
  for (const auto& [range, body, fault] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"bytes 10-12/200", "abc", ""},
           {"bytes 10-12/*", "abc", ""},
           {"bytes 10-13/200", "abcd", "bytes 10-13/200 where 10-12/200"},
           {"bytes 10-12/200", "abcd", "more than the 3 bytes"},
           {"bytes 10-12/200", "ab", "ended before"},
       }) {
    SCOPED_TRACE(range + " " + body);
    std::string heard;
    const RangeSink sink = [&heard](size_t, std::string_view bytes, const std::shared_ptr<const void>&) {
      heard += bytes;
    };
    RangeAnswer answer(wanted, MergeRanges(wanted, 0), 200, sink);
    std::string got;
    if (std::optional<FetchFailure> failure = answer.Open(206, "", "application/octet-stream", range, "GET x")) {
      got = failure->text;
    } else if (std::optional<std::string> taken = answer.Take(body)) {
      got = *taken;
    } else {
      got = answer.Finish().value_or("");
    }
    EXPECT_EQ(got.empty(), fault.empty()) << got;
    EXPECT_NE(got.find(fault), std::string::npos) << got;
    if (fault.empty()) {
      EXPECT_EQ(heard, "abc");
    }
  }
}

}  // namespace
