// Numeric addresses of both families as server lines and replies give
// them, and the order a host's addresses are tried in.
#include "platform/ip_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/resolver.h"

namespace {

using platform::IpAddress;
using platform::ParseNumericAddress;

TEST(IpAddressTest, ParsesEitherFamilyAndShowsItBack) {
  struct Case {
    const char* text;
    bool numeric;
    bool ipv6;
    const char* shown;
  };
  for (const Case& c : {Case{"127.0.0.1", true, false, "127.0.0.1"},
                        Case{"127.1", true, false, "127.0.0.1"},  // the short form inet_addr takes
                        Case{"0x7f.0.0.01", true, false, "127.0.0.1"},
                        Case{"::1", true, true, "::1"},
                        Case{"[::1]", true, true, "::1"},
                        Case{"2001:DB8:0:0:0:0:0:1", true, true, "2001:db8::1"},
                        Case{"::ffff:10.0.0.1", true, true, "::ffff:10.0.0.1"},
                        Case{"[::1", false, false, ""},
                        Case{"[127.0.0.1]", false, false, ""},
                        Case{"::1]", false, false, ""},
                        Case{"localhost", false, false, ""},
                        Case{"", false, false, ""}}) {
    SCOPED_TRACE(c.text);
    IpAddress address;
    ASSERT_EQ(ParseNumericAddress(c.text, address), c.numeric);
    if (!c.numeric) continue;
    EXPECT_EQ(address.IsIpv6(), c.ipv6);
    EXPECT_EQ(platform::FormatAddress(address), c.shown);
    EXPECT_FALSE(address.IsUnspecified());
  }
  IpAddress address;
  ASSERT_TRUE(ParseNumericAddress("0.0.0.0", address));
  EXPECT_TRUE(address.IsUnspecified());
  ASSERT_TRUE(ParseNumericAddress("[::]", address));
  EXPECT_TRUE(address.IsUnspecified());
  EXPECT_EQ(platform::FormatAddress(IpAddress::V4(0x7F000001)), "127.0.0.1");
}

TEST(IpAddressTest, HostAndPortKeepTheColonsOfIpv6Apart) {
  EXPECT_EQ(platform::JoinHostPort("127.0.0.1", "2121"), "127.0.0.1:2121");
  EXPECT_EQ(platform::JoinHostPort("ftp.example.com", "21"), "ftp.example.com:21");
  EXPECT_EQ(platform::JoinHostPort("::1", "2121"), "[::1]:2121");
  EXPECT_EQ(platform::JoinHostPort("[::1]", "2121"), "[::1]:2121");
}

TEST(IpAddressTest, AddressesAreTriedWithTheFamiliesInterleaved) {
  auto parse = [](const std::vector<std::string>& texts) {
    std::vector<IpAddress> addresses;
    for (const std::string& text : texts) {
      IpAddress address;
      EXPECT_TRUE(ParseNumericAddress(text, address)) << text;
      addresses.push_back(address);
    }
    return addresses;
  };
  struct Case {
    std::vector<std::string> found, tried;
  };
  for (const Case& c : {Case{{"::1", "::2", "::3", "10.0.0.1", "10.0.0.2"}, {"::1", "10.0.0.1", "::2", "10.0.0.2", "::3"}},
                        Case{{"10.0.0.1", "::1", "::2"}, {"10.0.0.1", "::1", "::2"}},
                        Case{{"10.0.0.1", "10.0.0.2", "::1"}, {"10.0.0.1", "::1", "10.0.0.2"}},
                        Case{{"10.0.0.2", "10.0.0.1"}, {"10.0.0.2", "10.0.0.1"}},
                        Case{{}, {}}}) {
    EXPECT_EQ(platform::InterleaveFamilies(parse(c.found)), parse(c.tried));
  }
}

}  // namespace
