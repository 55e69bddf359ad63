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
  const std::string comment = MakeTrustedComment(1796729826, 1799321826);
  EXPECT_EQ(comment, "timestamp:1796729826\texpires:1799321826");
  TrustedTimes times = ParseTrustedTimes(comment);
  EXPECT_EQ(times.timestamp, 1796729826);
  EXPECT_EQ(times.expires, 1799321826);
}

}  // namespace
}  // namespace trust
