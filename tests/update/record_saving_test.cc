#include "update/record_saving.h"

#include <gtest/gtest.h>

namespace {

TEST(RecordSaveScheduleTest, DueAfterTheIntervalOrTheBytesOnceSomethingIsUnsaved) {
  const RecordSavePolicy policy{5000, 1000};
  RecordSaveSchedule schedule(policy, 10000, 500);
  EXPECT_FALSE(schedule.Due(60000, 99999)) << "nothing to save yet";
  schedule.EntryDone();
  EXPECT_FALSE(schedule.Due(14999, 1499));
  EXPECT_TRUE(schedule.Due(15000, 500)) << "the interval has passed";
  EXPECT_TRUE(schedule.Due(10001, 1500)) << "the bytes have arrived";
  schedule.Saved(15000, 1500);
  EXPECT_FALSE(schedule.Due(30000, 9000)) << "saved, nothing new";
  schedule.EntryDone();
  EXPECT_FALSE(schedule.Due(19999, 2499)) << "counted from the last save";
  EXPECT_TRUE(schedule.Due(20000, 1500));
  EXPECT_TRUE(schedule.Due(15000, 2500));
}

}  // namespace
