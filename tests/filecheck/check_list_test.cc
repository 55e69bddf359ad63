#include "filecheck/check_list.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "datec_builder.h"
#include "platform/errors.h"
#include "support/temp_folder.h"

namespace {

using test_support::BuildDatec;
using test_support::DatecEntry;
using test_support::DatecRecord;
using test_support::DatecTrailer;

class CheckListTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) { return folder.Write("datec.dat", bytes); }
  test_support::TempFolder folder;
};

TEST_F(CheckListTest, ReadsRecordsInFileOrder) {
  const std::vector<CheckRecord> records = ReadCheckList(Write(BuildDatec({
      {"Core.u", "System\\", 45000.5, 1234},
      {"Readme.txt", "", 40000.25, 0},
      {std::string(30, 'n'), std::string(39, 'f') + "\\", -1.5, -7},
  })));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].name, "Core.u");
  EXPECT_EQ(records[0].folder, "System\\");
  EXPECT_DOUBLE_EQ(records[0].time, 45000.5);
  EXPECT_EQ(records[0].size, 1234);
  EXPECT_EQ(records[1].folder, "");
  EXPECT_DOUBLE_EQ(records[1].time, 40000.25);
  EXPECT_EQ(records[2].name, std::string(30, 'n'));
  EXPECT_EQ(records[2].folder.size(), 40u);
  EXPECT_DOUBLE_EQ(records[2].time, -1.5);
  EXPECT_EQ(records[2].size, -7);
}

TEST_F(CheckListTest, TrailerCountRules) {
  const std::string record = DatecRecord({"a.u", "", 1, 1});
  {
    SCOPED_TRACE("count 1: no file records");
    EXPECT_TRUE(ReadCheckList(Write(record + record + DatecTrailer(1))).empty());
  }
  {
    SCOPED_TRACE("count smaller than the file holds: the first records only");
    const std::vector<CheckRecord> records =
        ReadCheckList(Write(DatecRecord({"first.u", "", 1, 1}) + record + DatecTrailer(2)));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, "first.u");
  }
  for (int32_t count : {0, -1, 65537, INT32_MAX}) {
    SCOPED_TRACE("count " + std::to_string(count));
    EXPECT_THROW(
        {
          try {
            ReadCheckList(Write(record + DatecTrailer(count)));
          } catch (const ERangeError& e) {
            EXPECT_STREQ(e.what(), "Range check error");
            throw;
          }
        },
        ERangeError);
  }
  {
    SCOPED_TRACE("count 65536 over one record: the rest read as zeros");
    const std::vector<CheckRecord> records = ReadCheckList(Write(record + DatecTrailer(65536)));
    ASSERT_EQ(records.size(), 65535u);
    EXPECT_EQ(records[0].name, "a.u");
    // The trailer itself is the second record; its length byte (0x5A) is cut to 30.
    EXPECT_EQ(records[1].name, std::string(30, '\x5A'));
    EXPECT_EQ(records[1].size, 65536);
    for (size_t i : {size_t{2}, size_t{1000}, size_t{65534}}) {
      EXPECT_EQ(records[i].name, "");
      EXPECT_EQ(records[i].folder, "");
      EXPECT_EQ(records[i].time, 0.0);
      EXPECT_EQ(records[i].size, 0);
    }
  }
}

TEST_F(CheckListTest, ShortMissingAndLyingFiles) {
  {
    SCOPED_TRACE("shorter than one record");
    const std::string path = Write(std::string(83, '\0'));
    try {
      ReadCheckList(path);
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_EQ(std::string(e.what()), "I/O error " + std::to_string(ENODATA));
    }
  }
  {
    SCOPED_TRACE("missing file");
    try {
      ReadCheckList(folder.path() + "none.dat");
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_EQ(std::string(e.what()), "I/O error " + std::to_string(ENOENT));
    }
  }
  {
    SCOPED_TRACE("a length byte beyond its field is cut to the field");
    const std::vector<CheckRecord> records =
        ReadCheckList(Write(DatecRecord({"abc", "Sys\\", 1, 1}, 200, 255) + DatecTrailer(2)));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name.size(), 30u);
    EXPECT_EQ(records[0].name, std::string("abc") + std::string(27, '\0')) << "the padding is read too";
    EXPECT_EQ(records[0].folder.size(), 40u);
  }
  {
    SCOPED_TRACE("records past the end of a two-record file");
    const std::vector<CheckRecord> records =
        ReadCheckList(Write(DatecRecord({"x.u", "", 2.0, 9}) + DatecTrailer(4)));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].name, "x.u");
    EXPECT_EQ(records[1].size, 4) << "the trailer read as a record";
    EXPECT_EQ(records[2].name, "");
    EXPECT_EQ(records[2].size, 0);
  }
}

}  // namespace
