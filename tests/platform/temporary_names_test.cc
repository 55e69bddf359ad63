#include "platform/temporary_names.h"

#include <gtest/gtest.h>

TEST(TemporaryNamesTest, NamesEndingInATemporarySuffixIgnoringCase) {
  for (const char* name : {"Data\\x.bin.updtmp", "a.GZP.dltmp", "A.GZP.DLTMP", "x.UpdTmp", ".updtmp",
                           "a.GZP.dltmp.ahead0", "Data\\x.bin.updtmp.ahead12", "a.dltmp.AHEAD7"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(platform::IsTemporaryFileName(name));
  }
  for (const char* name : {"x.bin", "x.updtmp.bin", "a.dltmpx", "a.ahead3", "a.dltmp.ahead", "a.dltmp.ahead3x",
                           "a.dltmp.ahead-3", "a.updtmp.ahead3.ahead4", "updtmp", "Data\\updtmp.dat"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(platform::IsTemporaryFileName(name));
  }
}
