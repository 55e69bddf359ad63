#include "trust/trusted_comment.h"

#include <gtest/gtest.h>

namespace trust {
namespace {

struct TimesCase {
  const char* comment;
  std::optional<int64_t> timestamp;
  std::optional<int64_t> expires;
  const char* problem;  // a part of the problem's text; "" when there is none
};

void PrintTo(const TimesCase& c, std::ostream* out) { *out << '"' << c.comment << '"'; }

class TrustedTimesTest : public ::testing::TestWithParam<TimesCase> {};

TEST_P(TrustedTimesTest, Parse) {
  const TimesCase& c = GetParam();
  TrustedTimes times = ParseTrustedTimes(c.comment);
  if (*c.problem == '\0') {
    EXPECT_EQ(times.problem, "");
    EXPECT_EQ(times.timestamp, c.timestamp);
    EXPECT_EQ(times.expires, c.expires);
  } else {
    EXPECT_NE(times.problem.find(c.problem), std::string::npos) << times.problem;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Comments, TrustedTimesTest,
    ::testing::Values(
        TimesCase{"timestamp:1796729826\tfile:update3.dat\thashed", 1796729826, std::nullopt, ""},  // minisign's
        TimesCase{"timestamp:100\texpires:2692000", 100, 2692000, ""},
        TimesCase{"expires:5 timestamp:4", 4, 5, ""},
        TimesCase{"  timestamp:7 \t expires:8  ", 7, 8, ""},
        TimesCase{"a comment of the publisher's own", std::nullopt, std::nullopt, ""},
        TimesCase{"", std::nullopt, std::nullopt, ""},
        TimesCase{"mytimestamp:9 expires_soon:1", std::nullopt, std::nullopt, ""},
        TimesCase{"timestamp:999999999999999999", 999999999999999999, std::nullopt, ""},
        TimesCase{"timestamp:1000000000000000000", std::nullopt, std::nullopt, "not a number of seconds"},
        TimesCase{"timestamp:-5", std::nullopt, std::nullopt, "\"timestamp\" is not a number"},
        TimesCase{"timestamp:12x expires:3", std::nullopt, std::nullopt, "\"12x\""},
        TimesCase{"timestamp:1 expires:", std::nullopt, std::nullopt, "\"expires\" is not a number"},
        TimesCase{"timestamp:1 timestamp:2", std::nullopt, std::nullopt, "\"timestamp\" twice"}),
    [](const ::testing::TestParamInfo<TimesCase>& info) { return "case" + std::to_string(info.index); });

TEST(TrustedCommentTest, WrittenTimesReadBack) {
  const std::string comment = MakeTrustedComment(1796729826, "update3.dat", 1799321826);
  EXPECT_EQ(comment, "timestamp:1796729826\tfile:update3.dat\texpires:1799321826");
  TrustedTimes times = ParseTrustedTimes(comment);
  EXPECT_EQ(times.timestamp, 1796729826);
  EXPECT_EQ(times.expires, 1799321826);
  EXPECT_EQ(SignedFileProblem(times, "update3.dat"), "");
}

// A signature is taken only for the file its trusted comment names.
TEST(TrustedCommentTest, SignedFileIsTheOneTheCommentNames) {
  struct Case {
    const char* comment;
    const char* problem;  // a part of the problem's text; "" when the comment names update3.dat
  };
  const Case cases[] = {
      {"timestamp:1796729826\tfile:update3.dat\thashed", ""},  // minisign's
      {"timestamp:1\tfile:UPDATE3.DAT", ""},
      {"timestamp:1\tfile:bulletin.htm\texpires:2", "made for \"bulletin.htm\", not for update3.dat"},
      {"timestamp:1\tfile:update3.dat.old", "made for \"update3.dat.old\""},
      {"timestamp:1\tfile:", "made for \"\""},
      {"timestamp:1\texpires:2", "names no file"},
      {"timestamp:1 myfile:update3.dat", "names no file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.comment);
    const TrustedTimes times = ParseTrustedTimes(c.comment);
    EXPECT_EQ(times.problem, "");
    const std::string problem = SignedFileProblem(times, "update3.dat");
    if (*c.problem == '\0')
      EXPECT_EQ(problem, "");
    else
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
  }
  EXPECT_NE(ParseTrustedTimes("file:update3.dat file:bulletin.htm").problem.find("\"file\" twice"), std::string::npos);
}

}  // namespace
}  // namespace trust
