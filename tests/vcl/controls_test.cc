#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/game_folder.h"
#include "support/headless_app.h"
#include "vcl/form.h"
#include "vcl/image.h"
#include "vcl/label.h"
#include "vcl/list_box.h"
#include "vcl/timer.h"
#include "vcl/web_browser.h"

namespace {

class ControlsTest : public test_support::HeadlessAppTest {
 protected:
  TForm form{nullptr};
  test_support::GameFolder folder;
};

TEST_F(ControlsTest, LabelWidthFollowsTextAndFont) {
  auto* label = new TLabel(&form);
  label->SetFontHeight(16);
  label->SetCaption("please wait...");
  EXPECT_EQ(label->Width(), 14 * 8);
  EXPECT_EQ(label->Height(), 16);
  label->SetFontHeight(20);
  EXPECT_EQ(label->Width(), 14 * 10);
  label->SetAutoSize(false);
  label->SetCaption("x");
  EXPECT_EQ(label->Width(), 140);
}

TEST_F(ControlsTest, ImageLoadsBitmapOrRaisesFileError) {
  auto* image = new TImage(&form);
  image->LoadFromFile(folder.WriteBmp("a.bmp", 98, 36));
  EXPECT_EQ(image->Picture().width, 98);
  EXPECT_EQ(image->Picture().height, 36);
  const std::string missing = folder.path() + "missing.bmp";
  try {
    image->LoadFromFile(missing);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
  }
  EXPECT_THROW(image->LoadFromFile(folder.Write("text.bmp", "not a bitmap at all, no")), EFOpenError);
  EXPECT_EQ(image->Picture().width, 98) << "a failed load keeps the old picture";
}

TEST_F(ControlsTest, ListLinesAndSelection) {
  auto* list = new TListBox(&form);
  {
    SCOPED_TRACE("CR LF, LF and CR breaks; no empty last line");
    list->Items.LoadFromFile(folder.Write("l.dat", "a b\r\nc\nd\re\r\n"));
    EXPECT_EQ(list->Items.Lines(), (std::vector<std::string>{"a b", "c", "d", "e"}));
    list->Items.LoadFromFile(folder.Write("m.dat", "x\r\n\r\ny"));
    EXPECT_EQ(list->Items.Lines(), (std::vector<std::string>{"x", "", "y"}));
    list->Items.LoadFromFile(folder.Write("empty.dat", ""));
    EXPECT_EQ(list->Items.Count(), 0);
  }
  {
    SCOPED_TRACE("index errors carry the index");
    try {
      (void)list->Items[0];
      FAIL();
    } catch (const EListError& e) {
      EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    EXPECT_THROW(list->Items.LoadFromFile(folder.path() + "none.dat"), EFOpenError);
  }
  {
    SCOPED_TRACE("selecting a non-entry selects nothing");
    list->Items.Assign({"a", "b"});
    list->SetItemIndex(1);
    EXPECT_EQ(list->ItemIndex(), 1);
    list->SetItemIndex(2);
    EXPECT_EQ(list->ItemIndex(), -1);
    list->SetItemIndex(1);
    list->Items.Delete(1);
    EXPECT_EQ(list->ItemIndex(), -1);
  }
}

TEST_F(ControlsTest, WebBrowserNavigationIsRecorded) {
  auto* browser = new TWebBrowser(&form);
  browser->Navigate("/game/bulletin.htm");
  ASSERT_EQ(backend.navigations.size(), 1u);
  EXPECT_EQ(backend.navigations[0].browser, browser);
  EXPECT_EQ(backend.navigations[0].address, "/game/bulletin.htm");
  EXPECT_EQ(browser->LocationURL(), "/game/bulletin.htm");
}

TEST_F(ControlsTest, TimerTicksOnTheMessageLoopAndReportsErrors) {
  auto* timer = new TTimer(&form);
  int ticks = 0;
  timer->SetInterval(1);
  timer->SetOnTimer([&] {
    if (++ticks == 2) throw Exception("tick failed");
  });
  for (int i = 0; i < 5000 && ticks < 3; ++i) platform::WaitForEvent(5);
  EXPECT_GE(ticks, 3);
  ASSERT_FALSE(backend.boxes.empty());
  EXPECT_EQ(backend.boxes[0].text, "tick failed");
  timer->SetEnabled(false);
  const int stopped_at = ticks;
  for (int i = 0; i < 5; ++i) platform::WaitForEvent(5);
  EXPECT_EQ(ticks, stopped_at);
}

TEST_F(ControlsTest, MessageBoxesFollowTheScript) {
  backend.box_answers = {IDYES};
  EXPECT_EQ(Application.MessageBox("q?", "c", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(Application.MessageBox("q?", "c", MB_YESNO), IDNO) << "default: last button";
  backend.default_box_answer = IDYES;
  EXPECT_EQ(Application.MessageBox("q?", "c", MB_YESNO), IDYES);
  EXPECT_EQ(Application.MessageBox("info", "c", MB_OK), IDOK) << "an answer the box lacks";
  Application.AbortBox("gzclose Error.", "Error");
  ASSERT_EQ(backend.boxes.size(), 5u);
  EXPECT_EQ(backend.boxes[0].buttons.size(), 2u);
  EXPECT_EQ(backend.boxes[0].icon, vcl::MessageIcon::kQuestion);
  EXPECT_EQ(backend.boxes[4].buttons.at(0).label, "&Abort");
  EXPECT_EQ(backend.boxes[4].caption, "Error");
}

}  // namespace
