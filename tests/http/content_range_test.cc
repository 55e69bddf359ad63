// The one header the HTTP transport reads itself decides whether bytes are
// appended to a continued file: anything but a well-formed range must be
// refused.
#include "http/content_range.h"

#include <gtest/gtest.h>

TEST(ContentRangeTest, ReadsTheRangeOfAPartialAnswer) {
  const std::optional<ContentRange> range = ParseContentRange(" bytes 100-199/200\r");
  ASSERT_FALSE(range.has_value());  // a line end is not part of a value
  const std::optional<ContentRange> plain = ParseContentRange("  Bytes 100-199/200 ");
  ASSERT_TRUE(plain.has_value());
  EXPECT_EQ(plain->first, 100);
  EXPECT_EQ(plain->last, 199);
  EXPECT_EQ(plain->complete, 200);
  const std::optional<ContentRange> unknown = ParseContentRange("bytes 0-0/*");
  ASSERT_TRUE(unknown.has_value());
  EXPECT_EQ(unknown->complete, -1);
  const std::optional<ContentRange> large = ParseContentRange("bytes 5368709120-5368709121/5368709122");
  ASSERT_TRUE(large.has_value());
  EXPECT_EQ(large->first, int64_t{5368709120});
}

TEST(ContentRangeTest, RefusesWhatIsNoSatisfiedByteRange) {
  for (const char* value : {"", "bytes", "bytes ", "bytes */200", "items 0-1/2", "bytes0-1/2", "bytes 5-4/10",
                            "bytes 0-9/9", "bytes 0-9/10 x", "bytes -1-2/3", "bytes 0-1/", "bytes 1-/2",
                            "bytes 0-99999999999999999999/*", "bytes 0-1/2, 3-4/5"}) {
    SCOPED_TRACE(value);
    EXPECT_FALSE(ParseContentRange(value).has_value());
  }
}
