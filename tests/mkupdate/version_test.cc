#include "version.h"

#include <gtest/gtest.h>

#include "platform/errors.h"

namespace mkupdate {
namespace {

std::time_t Utc(int year, int month, int day) {
  struct tm t {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = 12;
  return timegm(&t);
}

TEST(VersionTest, OrderIsTheUpdatersByteOrder) {
  EXPECT_LT(CompareVersions("10", "9"), 0);
  EXPECT_LT(CompareVersions("2026", "20261"), 0);
  EXPECT_EQ(CompareVersions("2026120800", "2026120800"), 0);
  EXPECT_GT(CompareVersions("\xA7", "z"), 0);  // bytes above 0x7F are large, not negative
  EXPECT_EQ(GreatestVersion({"2026120801", "9", "2026120899"}), "9");
}

TEST(VersionTest, IncrementCountsUpWithCarryAndKeepsWidth) {
  EXPECT_EQ(IncrementVersion("2026120800"), "2026120801");
  EXPECT_EQ(IncrementVersion("2026120899"), "2026120900");
  EXPECT_EQ(IncrementVersion("a9z"), "b0a");
  EXPECT_EQ(IncrementVersion("1.9"), "2.0");  // the dot cannot count and is passed over
  EXPECT_EQ(IncrementVersion("99"), std::nullopt);
  EXPECT_EQ(IncrementVersion(""), std::nullopt);
}

TEST(VersionTest, NextReleaseVersionAlwaysComparesGreaterAtTheSameWidth) {
  std::time_t dec8 = Utc(2026, 12, 8);
  {
    SCOPED_TRACE("a new set starts at the date");
    EXPECT_EQ(NextReleaseVersion("", 10, dec8), "2026120800");
  }
  {
    SCOPED_TRACE("the same day counts on");
    std::string v = "2026120800";
    for (int i = 0; i < 150; ++i) {
      std::string next = NextReleaseVersion(v, 10, dec8);
      ASSERT_GT(CompareVersions(next, v), 0) << next << " after " << v;
      ASSERT_EQ(next.size(), 10u);
      v = next;
    }
    EXPECT_EQ(v, "2026120950");  // past 99 the counter carries into the date, still greater
    EXPECT_EQ(NextReleaseVersion(v, 10, Utc(2026, 12, 10)), "2026121000");
  }
  {
    SCOPED_TRACE("a hand-made set of eight-digit dates keeps eight digits");
    EXPECT_EQ(NextReleaseVersion("20250101", 8, dec8), "20261208");
    EXPECT_EQ(NextReleaseVersion("20261208", 8, dec8), "20261209");
  }
  {
    SCOPED_TRACE("narrow counters count");
    EXPECT_EQ(NextReleaseVersion("041", 3, dec8), "042");
    EXPECT_THROW(NextReleaseVersion("999", 3, dec8), Exception);
  }
  {
    SCOPED_TRACE("a clock set back does not go below the set");
    EXPECT_EQ(NextReleaseVersion("2027010105", 10, dec8), "2027010106");
  }
}

}  // namespace
}  // namespace mkupdate
