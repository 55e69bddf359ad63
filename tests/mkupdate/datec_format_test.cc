#include "datec_format.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/errors.h"

namespace mkupdate {
namespace {

ReleaseFile File(const std::string& name, int64_t size, int64_t mtime = 0) {
  return ReleaseFile{name, "/nowhere/" + name, size, mtime};
}

TEST(DatecFormatTest, RecordsRoundTripWithTrailerCount) {
  std::vector<CheckRecord> records = MakeCheckRecords({File("Quelmar.exe", 1234), File("System\\Core.u", 99)});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].folder, "");
  EXPECT_EQ(records[1].folder, "System\\");
  EXPECT_EQ(records[1].name, "Core.u");
  std::string bytes = EncodeDatec(records);
  ASSERT_EQ(bytes.size(), 3u * 84);
  int32_t count = 0;
  std::vector<CheckRecord> back = DecodeDatec(bytes, &count);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].folder + back[1].name, "System\\Core.u");
  EXPECT_EQ(back[1].size, 99);
  {
    SCOPED_TRACE("an empty release is the trailer alone, count 1");
    std::string empty = EncodeDatec({});
    EXPECT_EQ(empty.size(), 84u);
    EXPECT_TRUE(DecodeDatec(empty, &count).empty());
    EXPECT_EQ(count, 1);
  }
  {
    SCOPED_TRACE("a count past the end reads empty records; a count of 0 is refused");
    std::string longer = bytes;
    longer[3 * 84 - 4] = 5;
    EXPECT_EQ(DecodeDatec(longer, &count).size(), 4u);
    longer[3 * 84 - 4] = 0;
    EXPECT_THROW(DecodeDatec(longer, &count), Exception);
  }
}

TEST(DatecFormatTest, LongNamesAreRefusedNamingEveryFile) {
  std::string name30(30, 'n'), folder40(39, 'f');  // the folder gains its backslash: 40 bytes
  EXPECT_NO_THROW(MakeCheckRecords({File(folder40 + "\\" + name30, 1)}));
  try {
    MakeCheckRecords({File(name30 + "x", 1), File(folder40 + "g\\a.txt", 1), File("ok.txt", 1)});
    FAIL() << "expected a refusal";
  } catch (const Exception& error) {
    std::string text = error.what();
    EXPECT_NE(text.find(name30 + "x: the file name is 31 bytes"), std::string::npos) << text;
    EXPECT_NE(text.find(folder40 + "g\\a.txt: the folder"), std::string::npos) << text;
    EXPECT_EQ(text.find("ok.txt"), std::string::npos) << text;
  }
  EXPECT_THROW(MakeCheckRecords({File("huge.bin", int64_t{1} << 31)}), Exception);
}

TEST(DatecFormatTest, TimesAreLocalDayCountsAtTwoSecondResolution) {
  const char* old_tz = getenv("TZ");
  std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_DOUBLE_EQ(UnixTimeToDayCount(0), 25569.0);
  EXPECT_DOUBLE_EQ(UnixTimeToDayCount(86400 + 3), 25570.0 + 2.0 / 86400.0);
  setenv("TZ", "UTC-8", 1);  // eight hours east of UTC
  tzset();
  EXPECT_DOUBLE_EQ(UnixTimeToDayCount(0), 25569.0 + 8.0 / 24.0);
  if (old_tz) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace mkupdate
