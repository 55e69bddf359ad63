#include "byte_size.h"

#include <gtest/gtest.h>

namespace mkupdate {
namespace {

TEST(ByteSizeTest, CountsWithAndWithoutUnits) {
  EXPECT_EQ(ParseByteSize("0"), 0);
  EXPECT_EQ(ParseByteSize("4194304"), 4194304);
  EXPECT_EQ(ParseByteSize("512K"), 512 * 1024);
  EXPECT_EQ(ParseByteSize("4m"), 4 * 1024 * 1024);
  EXPECT_EQ(ParseByteSize("2G"), int64_t{2} << 30);
  EXPECT_EQ(ParseByteSize("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(ParseByteSize("8589934591G"), int64_t{8589934591} << 30);
  for (const char* bad : {"", "M", "-1", "4 M", "4MB", "1.5M", "9223372036854775808", "8589934592G", "0x10"})
    EXPECT_EQ(ParseByteSize(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace mkupdate
