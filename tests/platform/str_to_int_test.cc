#include "platform/errors.h"

#include <gtest/gtest.h>

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
