#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

TEST(StrToIntTest, AcceptsWhatTheRunTimeAccepts) {
  EXPECT_EQ(platform::StrToInt("0"), 0);
  EXPECT_EQ(platform::StrToInt("42"), 42);
  EXPECT_EQ(platform::StrToInt("  7"), 7);
  EXPECT_EQ(platform::StrToInt("+15"), 15);
  EXPECT_EQ(platform::StrToInt("-15"), -15);
  EXPECT_EQ(platform::StrToInt("007"), 7);
  EXPECT_EQ(platform::StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(platform::StrToInt("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(platform::StrToInt("$1F"), 31);
  EXPECT_EQ(platform::StrToInt("0x1f"), 31);
  EXPECT_EQ(platform::StrToInt("$FFFFFFFF"), -1);
}

TEST(StrToIntTest, RefusesOtherTextWithTheMessageAPersonReads) {
  for (const std::string text : {"", " ", "-", "$", "12a", "1 ", "1.5", "2147483648",
                                 "-2147483649", "$100000000", "99999999999999999999", "\t1"}) {
    SCOPED_TRACE(text);
    try {
      platform::StrToInt(text);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
    }
  }
}

TEST(StrToIntTest, SixtyFourBitsForFileSizes) {
  EXPECT_EQ(platform::StrToInt64("2147483648"), int64_t{2147483648});
  EXPECT_EQ(platform::StrToInt64("4294967296"), int64_t{4294967296});
  EXPECT_EQ(platform::StrToInt64("  +5368709120"), int64_t{5368709120});
  EXPECT_EQ(platform::StrToInt64("-3"), -3);
  EXPECT_EQ(platform::StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(platform::StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(platform::StrToInt64("$100000000"), int64_t{4294967296});
  EXPECT_EQ(platform::StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  for (const std::string text : {"9223372036854775808", "-9223372036854775809", "18446744073709551616",
                                 "$10000000000000000", "", "5 GiB"}) {
    SCOPED_TRACE(text);
    try {
      platform::StrToInt64(text);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
    }
  }
}
