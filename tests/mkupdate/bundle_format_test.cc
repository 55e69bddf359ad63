#include "bundle_format.h"

#include <gtest/gtest.h>

#include "platform/little_endian.h"

namespace mkupdate {
namespace {

bool Mentions(const std::vector<std::string>& problems, const std::string& part) {
  for (const std::string& p : problems)
    if (p.find(part) != std::string::npos) return true;
  return false;
}

TEST(BundleFormatTest, TrailerRoundTripsAndProblemsAreFound) {
  std::vector<BundleMember> members = {{"Trees\\bark.bmp", 0, 10}, {"Trees\\leaf.bmp", 10, 25}};
  std::string trailer = EncodeBundleTrailer(members);
  ASSERT_EQ(trailer.size(), 8989u);
  BundleTrailer decoded = DecodeBundleTrailer(trailer);
  EXPECT_EQ(decoded.count, 2);
  ASSERT_EQ(decoded.members.size(), 2u);
  EXPECT_EQ(decoded.members[1].name, "Trees\\leaf.bmp");
  EXPECT_EQ(decoded.members[1].start, 10);
  EXPECT_EQ(decoded.members[1].end, 25);
  EXPECT_TRUE(BundleProblems(decoded, 25 + 8989).empty());
  {
    SCOPED_TRACE("each kind of damage");
    EXPECT_TRUE(Mentions(BundleProblems(decoded, 24 + 8989), "member 2"));  // data shorter than the ranges
    EXPECT_TRUE(Mentions(BundleProblems(decoded, 100), "shorter"));
    BundleTrailer bad = decoded;
    bad.members[0].name = "..\\evil.exe";
    EXPECT_TRUE(Mentions(BundleProblems(bad, 25 + 8989), "not a relative name"));
    bad.members[0].name = "C:\\evil.exe";
    EXPECT_TRUE(Mentions(BundleProblems(bad, 25 + 8989), "not a relative name"));
    bad = decoded;
    bad.members[1].end = 5;  // end before start
    EXPECT_TRUE(Mentions(BundleProblems(bad, 25 + 8989), "range 10..5"));
    bad.count = 101;
    EXPECT_TRUE(Mentions(BundleProblems(bad, 25 + 8989), "count 101"));
    EXPECT_EQ(BundleProblems(bad, 25 + 8989).size(), 1u);
    bad.count = 0;
    EXPECT_TRUE(Mentions(BundleProblems(bad, 25 + 8989), "count 0"));
  }
  {
    SCOPED_TRACE("a name length byte above 80, which the updater refuses");
    std::string long_name = trailer;
    long_name[kBundleRecordSize + 8] = 81;
    BundleTrailer bad = DecodeBundleTrailer(long_name);
    ASSERT_EQ(bad.members.size(), 2u);
    EXPECT_TRUE(bad.members[0].name_too_long);
    EXPECT_EQ(bad.members[0].name, "");
    EXPECT_TRUE(Mentions(BundleProblems(bad, 25 + 8989), "member 1 \"\": name is longer than 80 bytes"));
  }
  {
    SCOPED_TRACE("a negative count decodes to no members");
    std::string negative = trailer;
    platform::WriteLe32(negative.data(), -3);
    EXPECT_TRUE(DecodeBundleTrailer(negative).members.empty());
    EXPECT_EQ(DecodeBundleTrailer(negative).count, -3);
  }
}

}  // namespace
}  // namespace mkupdate
