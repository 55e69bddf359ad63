#include "name_pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct PatternCase {
  const char* pattern;
  const char* name;
  bool matches;
};

class NamePatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(NamePatternTest, MatchesAsTheRulesFileMeansIt) {
  const PatternCase& c = GetParam();
  EXPECT_EQ(mkupdate::MatchesNamePattern(c.pattern, c.name), c.matches) << c.pattern << " against " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NamePatternTest,
    testing::Values(PatternCase{"Data/*.bin", "data/MAP/a.BIN", true},  // '*' crosses folders, case ignored
                    PatternCase{"Data/*.bin", "Data/a.bin.old", false},
                    PatternCase{"*", "", true}, PatternCase{"?", "", false},
                    PatternCase{"a?c", "a/c", true}, PatternCase{"a*b*c", "aXbYbZc", true},
                    PatternCase{"a*b*c", "aXbYbZ", false}, PatternCase{"**x", "abx", true},
                    PatternCase{"m[0-9].dat", "m7.dat", true}, PatternCase{"m[0-9].dat", "mx.dat", false},
                    PatternCase{"m[!0-9].dat", "mx.dat", true}, PatternCase{"m[^0-9].dat", "m7.dat", false},
                    PatternCase{"[A-C]x", "bX", true}, PatternCase{"[]]x", "]x", true},
                    PatternCase{"[!]]x", "]x", false}, PatternCase{"[a-]x", "-x", true},
                    PatternCase{"a[b", "a[b", true}, PatternCase{"a[b", "ab", false},
                    PatternCase{"*.dat", "\xA4\xA4.DAT", true}, PatternCase{"exact", "exactly", false}));

}  // namespace
