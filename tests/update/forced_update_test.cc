#include "update/forced_update.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/engine_window.h"
#include "support/headless_app.h"

namespace {

class ForcedUpdateTest : public test_support::HeadlessAppTest {
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
    w.ListBox1->Items.Add("pending");
    ForcedUpdateCommand(w);
    EXPECT_TRUE(backend.boxes.empty());
    EXPECT_FALSE(w.RecordList);
    EXPECT_EQ(w.ListBox1->Items.Lines(), std::vector<std::string>{"pending"});
    w.ListBox1->Items.Clear();
    w.RecordList = std::move(compared);
  }
  {
    SCOPED_TRACE("a forced update already running");
    w.ForcedUpdateActive = true;
    ForcedUpdateCommand(w);
    EXPECT_TRUE(backend.boxes.empty());
    w.ForcedUpdateActive = false;
  }
  {
    SCOPED_TRACE("still connecting or running: Button1 disabled and Image3 hidden");
    w.Button1->SetEnabled(false);
    ForcedUpdateCommand(w);
    EXPECT_TRUE(backend.boxes.empty());
  }
  {
    SCOPED_TRACE("asked, answered No");
    w.Image3->Show();
    backend.box_answers = {IDNO};
    ForcedUpdateCommand(w);
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].icon, vcl::MessageIcon::kQuestion);
    EXPECT_EQ(backend.boxes[0].text,
              "After pushing \"Compulsive update\" button, it will update all downloads completely and "
              "will take longer time. Are you sure you want to do it?");
    EXPECT_EQ(*w.RecordList, record);
    EXPECT_FALSE(w.ForcedUpdateActive);
  }
}

TEST_F(ForcedUpdateTest, YesRebuildsEveryServerEntryAsNew) {
  w.ListBox1->Items.Add("stale");
  backend.box_answers = {IDYES};
  // Not connected: the run does nothing, so the rebuilt lists stay visible.
  ForcedUpdateCommand(w);
  EXPECT_FALSE(w.ForcedUpdateActive);
  EXPECT_EQ(*w.RecordList, (LineList{"AVWSEN", ""}));
  EXPECT_EQ(*w.PendingList, (LineList{"E A.gz Sys\\A.u 2 10", "O B.txt b.txt 3 20", "T T.gz T.bnd 1 30 T"}))
      << "blank lines and lines without a local name are not queued";
  EXPECT_EQ(w.ListBox1->Items.Lines(), (std::vector<std::string>{"Sys\\A.u", "b.txt", "T.bnd"}));
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
  backend.box_answers = {IDYES};
  EXPECT_THROW(ForcedUpdateCommand(w), EFOpenError);
  EXPECT_TRUE(w.ForcedUpdateActive) << "the buttons stay inert until the updater is closed";
  EXPECT_TRUE(w.RecordList->empty());
  EXPECT_TRUE(w.PendingList->empty());
  EXPECT_EQ(w.ListBox1->Items.Count(), 0);
}

}  // namespace
