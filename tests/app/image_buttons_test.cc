#include <gtest/gtest.h>
#include <sys/stat.h>


#include "app/engine_hooks.h"
#include "app/form1.h"
#include "app/skin_form.h"
#include "app/web_page_window.h"
#include "locale_env.h"
#include "mask2_payload.h"
#include "platform/errors.h"
#include "platform/event_loop.h"
#include "skin_design_data.h"
#include "support/game_folder.h"
#include "support/headless_app.h"
#include "support/wait_until.h"

namespace {

class ImageButtonsTest : public test_support::HeadlessAppTest {
 protected:
  ImageButtonsTest() : locale("en_US") {
    folder.WriteAllSkins();
    form = Application.CreateForm<TForm1>(folder.path());
    form->Hooks.Button1Click = [this] { ++update_runs; };
    form->Hooks.Image3Click = [this] { ++game_starts; };
    form->Hooks.Image1MouseUp = [this] { ++forced_updates; };
  }

  std::string Look(char letter, char look) const {
    return folder.RealPath(std::string("Ftp\\FTP_cool_") + letter + "_" + look + "_001b.bmp");
  }

  ScopedLocale locale;
  test_support::GameFolder folder;
  TForm1* form = nullptr;
  int update_runs = 0;
  int game_starts = 0;
  int forced_updates = 0;
};

TEST_F(ImageButtonsTest, UpdateButtonSwapsLooksAndStartsTheRun) {
  {
    SCOPED_TRACE("left press, release elsewhere: the pressed button still gets it");
    form->MouseDown(TMouseButton::mbLeft, {}, 140, 560);
    EXPECT_EQ(form->Image2->PictureFile(), Look('a', 'H'));
    form->MouseUp(TMouseButton::mbLeft, {}, 700, 100);
    EXPECT_EQ(form->Image2->PictureFile(), Look('a', 'D'));
    EXPECT_EQ(update_runs, 1);
  }
  {
    SCOPED_TRACE("right button works the same");
    form->MouseDown(TMouseButton::mbRight, {}, 140, 560);
    form->MouseUp(TMouseButton::mbRight, {}, 140, 560);
    EXPECT_EQ(update_runs, 2);
  }
  {
    SCOPED_TRACE("no run while Button1 is disabled or a forced update runs");
    form->Button1->SetEnabled(false);
    form->MouseDown(TMouseButton::mbLeft, {}, 140, 560);
    form->MouseUp(TMouseButton::mbLeft, {}, 140, 560);
    form->Button1->SetEnabled(true);
    form->Engine.ForcedUpdateActive = true;
    form->MouseDown(TMouseButton::mbLeft, {}, 140, 560);
    form->MouseUp(TMouseButton::mbLeft, {}, 140, 560);
    EXPECT_EQ(update_runs, 2);
    EXPECT_EQ(form->Image2->PictureFile(), Look('a', 'D'));
  }
}

TEST_F(ImageButtonsTest, VisibleStartGameButtonCoversTheUpdateButton) {
  form->Image3->SetVisible(true);
  form->MouseDown(TMouseButton::mbLeft, {}, 140, 560);
  EXPECT_EQ(form->Image3->PictureFile(), Look('b', 'H'));
  EXPECT_EQ(form->Image2->PictureFile(), Look('a', 'D'));
  form->MouseUp(TMouseButton::mbLeft, {}, 140, 560);
  EXPECT_EQ(game_starts, 1);
  EXPECT_EQ(update_runs, 0);
  EXPECT_EQ(form->Image3->PictureFile(), Look('b', 'D'));
  {
    SCOPED_TRACE("x = 133 is covered by Image2 only");
    form->MouseDown(TMouseButton::mbLeft, {}, 133, 560);
    form->MouseUp(TMouseButton::mbLeft, {}, 133, 560);
    EXPECT_EQ(update_runs, 1);
  }
}

TEST_F(ImageButtonsTest, ForcedUpdateRunsAfterTheNormalLookIsBack) {
  form->Hooks.Image1MouseUp = [this] {
    EXPECT_EQ(form->Image1->PictureFile(), Look('k', 'D'));
    ++forced_updates;
  };
  form->MouseDown(TMouseButton::mbRight, {}, 240, 560);
  EXPECT_EQ(form->Image1->PictureFile(), Look('k', 'H'));
  form->MouseUp(TMouseButton::mbRight, {}, 240, 560);
  EXPECT_EQ(forced_updates, 1);
}

// The start-game button wired to the real game start: a game that cannot
// be started is named in the error box and the updater stays open.
TEST_F(ImageButtonsTest, StartGameNamesTheCommandLineItCouldNotStart) {
  AttachUpdateEngine(*form);
  form->Show();
  form->Image3->SetVisible(true);
  const auto press_start_game = [this] {
    form->MouseDown(TMouseButton::mbLeft, {}, 182, 570);
    form->MouseUp(TMouseButton::mbLeft, {}, 182, 570);
  };
  const struct {
    const char* game_exe_file;
    const char* shown;
    const char* reason;
  } failures[] = {
      {"", "Quelmar.exe kvx", "the program file does not exist"},
      {"Game\\Run.sh -fast", "Game\\Run.sh -fast", "the program file is not executable"},
  };
  folder.Write("Game\\Run.sh", "#!/bin/sh\necho \"$@\" > started.txt\n");
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.shown);
    backend.boxes.clear();
    form->Engine.FtpConfig.GameExeFile = failure.game_exe_file;
    press_start_game();
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].icon, vcl::MessageIcon::kError);
    EXPECT_EQ(backend.boxes[0].text,
              "Cannot start the game \"" + folder.path() + failure.shown + "\": " + failure.reason);
    EXPECT_TRUE(form->Visible()) << "shown again";
    EXPECT_FALSE(Application.Terminated()) << "the updater stays open";
  }
  {
    SCOPED_TRACE("refused during a forced update");
    backend.boxes.clear();
    form->Engine.ForcedUpdateActive = true;
    press_start_game();
    form->Engine.ForcedUpdateActive = false;
    EXPECT_TRUE(backend.boxes.empty());
    EXPECT_TRUE(form->Visible());
  }
  ASSERT_EQ(chmod(folder.RealPath("Game\\Run.sh").c_str(), 0755), 0);
  backend.boxes.clear();
  press_start_game();
  EXPECT_TRUE(backend.boxes.empty());
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(Application.Terminated()) << "the main window closed";
  EXPECT_TRUE(test_support::WaitForLine(folder.RealPath("started.txt")));
  EXPECT_EQ(folder.Read("started.txt"), "-fast\n");
}

TEST_F(ImageButtonsTest, MissingPressedLookIsReportedAndTheActionSkipped) {
  std::remove(Look('a', 'H').c_str());
  form->MouseDown(TMouseButton::mbLeft, {}, 140, 560);
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Cannot open file " + Look('a', 'H'));
  std::remove(Look('a', 'D').c_str());
  form->MouseUp(TMouseButton::mbLeft, {}, 140, 560);
  EXPECT_EQ(backend.boxes.size(), 2u);
  EXPECT_EQ(update_runs, 0);
}

TEST_F(ImageButtonsTest, OnlyALeftPressOnTheSkinMovesTheWindow) {
  form->MouseDown(TMouseButton::mbRight, {}, 50, 50);
  EXPECT_TRUE(backend.drag_requests.empty());
  for (const auto& [x, y] : {std::pair{140, 560}, {200, 520}, {300, 300}}) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y) + ": button, gauge, HTML view");
    form->MouseDown(TMouseButton::mbLeft, {}, x, y);
    form->MouseUp(TMouseButton::mbLeft, {}, x, y);
    EXPECT_TRUE(backend.drag_requests.empty());
  }
  form->MouseDown(TMouseButton::mbLeft, {}, 50, 50);
  ASSERT_EQ(backend.drag_requests.size(), 1u);
  EXPECT_EQ(backend.drag_requests[0], form);
  EXPECT_EQ(form->Capture(), nullptr) << "the drag takes the mouse";
}

TEST_F(ImageButtonsTest, WebPageWindows) {
  std::vector<std::pair<int, int>> sizes;
  backend.on_modal_shown = [&](TForm& window) {
    sizes.emplace_back(window.Width(), window.Height());
    window.Close();
  };
  form->Engine.FtpConfig.HomePageUrl = "http://home.example/";
  form->MouseDown(TMouseButton::mbLeft, {}, 450, 560);
  form->MouseUp(TMouseButton::mbLeft, {}, 450, 560);
  ASSERT_EQ(backend.navigations.size(), 2u);  // the bulletin, then the page
  EXPECT_EQ(backend.navigations[1].address, "http://home.example/");
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{1024, 768}}));
  {
    SCOPED_TRACE("account page on a simplified-Chinese system without AccountUrl");
    ScopedLocale chinese("zh_CN.UTF-8");
    form->MouseDown(TMouseButton::mbLeft, {}, 350, 560);
    form->MouseUp(TMouseButton::mbLeft, {}, 350, 560);
    ASSERT_EQ(backend.navigations.size(), 3u);
    EXPECT_EQ(backend.navigations[2].address, "");
  }
  EXPECT_EQ(AccountPageAddress({}, 't'), kDefaultAccountUrl);
  EXPECT_EQ(HomePageAddress({}), kDefaultHomePageUrl);
}

TEST_F(ImageButtonsTest, SkinFormIsPinnedAndKeepsItsOutline) {
  form->SkinForm1->SetTop(50);
  form->SkinForm1->SetLeft(50);
  EXPECT_EQ(form->SkinForm1->Top(), 0);
  EXPECT_EQ(form->SkinForm1->Left(), 0);
  EXPECT_EQ(form->BorderStyle(), TFormBorderStyle::bsNone);
  {
    SCOPED_TRACE("Mask2 read then written gives the same payload");
    TSkinForm skin(nullptr);
    skin.ReadMask2(Form1StoredMask2());
    EXPECT_EQ(skin.WriteMask2(), std::string(Form1StoredMask2()));
    skin.LoadFromFile(folder.RealPath("Ftp\\FTP_ORVEL_001b.bmp"));
    EXPECT_EQ(skin.WriteMask2(), std::string(4, '\0')) << "a new picture forgets the region";
    EXPECT_EQ(skin.OutlineRects().size(), StoredRectCount(Form1StoredMask2()));
  }
  {
    SCOPED_TRACE("payload 0 leaves the window rectangular; bad payloads are refused");
    TSkinForm skin(nullptr);
    skin.ReadMask2(std::string(4, '\0'));
    EXPECT_FALSE(skin.HasRegion());
    EXPECT_THROW(skin.ReadMask2(std::string("\x40\0\0\0", 4) + std::string(10, '\0')), Exception);
    std::string lying(Form1StoredMask2());
    lying[12] = '\x7F';  // rectangle count far beyond the data
    EXPECT_THROW(skin.ReadMask2(lying), Exception);
    EXPECT_FALSE(skin.HasRegion());
  }
}

}  // namespace
