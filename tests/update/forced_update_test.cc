#include "update/forced_update.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/engine_window.h"

namespace {

class ForcedUpdateTest : public ::testing::Test {
 protected:
  ForcedUpdateTest() {
    w.folder.Write("update3.dat",
                   "HEADER\r\nE A.gz Sys\\A.u 2 10\r\nO B.txt b.txt 3 20\r\nT T.gz T.bnd 1 30 T\r\n"
                   "E C.gz\r\n\r\n\r\n");
    w.RecordList = LineList{"AVWSEN", "Sys\\A.u 2", "b.txt 3"};
    w.PendingList = LineList{};
    w.ServerList = LineList{"HEADER"};
  }
  test_support::EngineTestWindow w;
};

TEST_F(ForcedUpdateTest, GuardsAndNoAnswerChangeNothing) {
  const LineList record = *w.RecordList;
  {
    SCOPED_TRACE("no comparison yet (Button1 enabled as designed)");
    std::optional<LineList> compared = std::move(w.RecordList);
    w.RecordList.reset();
    AddPendingName(w, "pending");
    ForcedUpdateCommand(w);
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_FALSE(w.RecordList);
    EXPECT_EQ(w.pending, std::vector<std::string>{"pending"});
    ClearPendingNames(w);
    w.RecordList = std::move(compared);
  }
  {
    SCOPED_TRACE("a forced update already running");
    w.ForcedUpdateActive = true;
    ForcedUpdateCommand(w);
    EXPECT_TRUE(w.boxes.empty());
    w.ForcedUpdateActive = false;
  }
  {
    SCOPED_TRACE("still connecting or running: Button1 disabled and Image3 hidden");
    SetUpdateArmed(w, false);
    ForcedUpdateCommand(w);
    EXPECT_TRUE(w.boxes.empty());
  }
  {
    SCOPED_TRACE("asked, answered No");
    ShowStartGame(w);
    w.box_answers = {false};
    ForcedUpdateCommand(w);
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_TRUE(w.boxes[0].question);
    EXPECT_EQ(w.boxes[0].text,
              "After pushing \"Compulsive update\" button, it will update all downloads completely and "
              "will take longer time. Are you sure you want to do it?");
    EXPECT_EQ(*w.RecordList, record);
    EXPECT_FALSE(w.ForcedUpdateActive);
  }
}

TEST_F(ForcedUpdateTest, YesRebuildsEveryServerEntryAsNew) {
  AddPendingName(w, "stale");
  w.box_answers = {true};
  // Not connected: the run does nothing, so the rebuilt lists stay visible.
  ForcedUpdateCommand(w);
  EXPECT_FALSE(w.ForcedUpdateActive);
  EXPECT_EQ(*w.RecordList, (LineList{"AVWSEN", ""}));
  EXPECT_EQ(*w.PendingList, (LineList{"E A.gz Sys\\A.u 2 10", "O B.txt b.txt 3 20", "T T.gz T.bnd 1 30 T"}))
      << "blank lines and lines without a local name are not queued";
  EXPECT_EQ(w.pending, (std::vector<std::string>{"Sys\\A.u", "b.txt", "T.bnd"}));
  EXPECT_EQ(w.ServerList->size(), 7u);
}

TEST_F(ForcedUpdateTest, ServerListWithOnlyItsHeader) {
  w.folder.Write("update3.dat", "HEADER\r\n");
  RebuildForForcedUpdate(w);
  EXPECT_TRUE(w.PendingList->empty());
  EXPECT_EQ(*w.RecordList, (LineList{"AVWSEN", ""}));
}

TEST_F(ForcedUpdateTest, MissingServerListLeavesTheFlagSet) {
  std::filesystem::remove(w.folder.path() + "update3.dat");
  w.box_answers = {true};
  EXPECT_THROW(ForcedUpdateCommand(w), EFOpenError);
  EXPECT_TRUE(w.ForcedUpdateActive) << "the buttons stay inert until the updater is closed";
  EXPECT_TRUE(w.RecordList->empty());
  EXPECT_TRUE(w.PendingList->empty());
  EXPECT_EQ(static_cast<int>(w.pending.size()), 0);
}

}  // namespace
