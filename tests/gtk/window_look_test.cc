// The `updater` window as a person sees it, on a private X server: the
// server dialog and the main window cut to their stored outlines, the image
// buttons and their pressed look, the bulletin, dragging the window, the
// home-page window, and the hand-over to an already running updater.
// Screenshots of each step are kept under the build folder (gtk-screenshots/).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "skin_design_data.h"
#include "updater_window_fixture.h"

namespace gtk_test {
namespace {

TEST_F(UpdaterWindowTest, DialogThenShapedMainWindowWithButtonsBulletinAndDrag) {
  SilentServer server;
  ASSERT_NE(0, server.port());
  WriteServerList(server.port(), 60000);
  const pid_t pid = x_.StartProgram({updater_}, game_.path());
  const Bitmap dialog_skin = gtk_test::ReadBmp24(kSkinDir + "FTP_ORVEL_003b.bmp");
  const Bitmap main_skin = gtk_test::ReadBmp24(kSkinDir + "FTP_ORVEL_001b.bmp");
  ASSERT_EQ(924, main_skin.width);
  Screenshot shot;
  {
    SCOPED_TRACE("the server dialog, cut to its outline, with the list and the OK button");
    const std::vector<Box> covered{{116, 221, 515, 526}, {322, 554, 358, 578}};
    const bool shown = WaitFor([&] {
      shot = Shot("1-dialog");
      const OutlineMismatch m =
          CompareWithSkin(shot, kWindowLeft, kWindowTop, dialog_skin, std::string(Form2StoredMask2()), covered);
      return m.inside == 0 && m.outside == 0;
    });
    const OutlineMismatch m =
        CompareWithSkin(shot, kWindowLeft, kWindowTop, dialog_skin, std::string(Form2StoredMask2()), covered);
    ASSERT_TRUE(shown) << m.inside << " skin pixels and " << m.outside << " pixels outside the outline differ";
    EXPECT_EQ(0, BitmapMismatch(shot, kWindowLeft + 322, kWindowTop + 554,
                                gtk_test::ReadBmp24(kSkinDir + "FTP_cool_e_D_001b.bmp")));
    // First start: the second entry ("Other") is selected, shown highlighted.
    const Box second_row{kWindowLeft + 118, kWindowTop + 223 + 16, kWindowLeft + 513, kWindowTop + 223 + 32};
    const Box first_row{kWindowLeft + 118, kWindowTop + 223, kWindowLeft + 513, kWindowTop + 223 + 16};
    EXPECT_GT(CountColour(shot, second_row, 0x0078D7), 1000);
    EXPECT_EQ(0, CountColour(shot, first_row, 0x0078D7));
  }
  // Drags with `button` from screen point (x0, y0) by (dx, dy), in steps.
  auto drag = [&](int button, int x0, int y0, int dx, int dy) {
    const std::string b = std::to_string(button);
    x_.Run("xdotool mousemove " + std::to_string(x0) + " " + std::to_string(y0) + " mousedown " + b);
    for (int step = 1; step <= 5; ++step)
      x_.Run("xdotool mousemove " + std::to_string(x0 + dx * step / 5) + " " + std::to_string(y0 + dy * step / 5));
    x_.Run("xdotool mouseup " + b);
  };
  const int dx = 150, dy = 90;
  int left = kWindowLeft, top = kWindowTop;
  {
    SCOPED_TRACE("the dialog moves with the pointer");
    drag(1, left + 60, top + 300, -dx, dy);
    left -= dx;
    top += dy;
    const std::vector<Box> covered{{116, 221, 515, 526}, {322, 554, 358, 578}};
    EXPECT_TRUE(WaitFor([&] {
      shot = Shot("1-dialog-dragged");
      const OutlineMismatch m = CompareWithSkin(shot, left, top, dialog_skin, std::string(Form2StoredMask2()), covered);
      return m.inside == 0 && m.outside == 0;
    }));
  }
  {
    SCOPED_TRACE("confirming shows the main window where the dialog was dragged to");
    Click(left + 340, top + 566);
    const std::vector<Box> covered{{117, 220, 514, 468}, {113, 480, 518, 534}, {133, 552, 649, 588}};
    const bool shown = WaitFor([&] {
      shot = Shot("2-main");
      const OutlineMismatch m =
          CompareWithSkin(shot, left, top, main_skin, std::string(Form1StoredMask2()), covered);
      return m.inside == 0 && m.outside == 0;
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ("1\r\n", game_.Read("isp1.dat"));
    const struct {
      const char* file;
      int left;
    } buttons[] = {{"FTP_cool_a_D_001b.bmp", 133}, {"FTP_cool_k_D_001b.bmp", 238},
                   {"FTP_cool_n_D_001b.bmp", 342}, {"FTP_cool_c_D_001b.bmp", 446},
                   {"FTP_cool_d_D_001b.bmp", 551}};
    for (const auto& button : buttons) {
      SCOPED_TRACE(button.file);
      EXPECT_EQ(0, BitmapMismatch(shot, left + button.left, top + 552,
                                  gtk_test::ReadBmp24(kSkinDir + button.file)));
    }
    // The progress bar is black and empty; "0% " in yellow lies over it.
    const Box gauge{left + 119, top + 518, left + 513, top + 527};
    EXPECT_GT(CountColour(shot, gauge, 0x000000), 394 * 9 / 2);
    EXPECT_GT(CountMatching(shot, {left + 290, top + 512, left + 345, top + 532},
                            Yellowish), 10);
  }
  {
    SCOPED_TRACE("the bulletin page fills its area");
    const Box bulletin{left + 117, top + 220, left + 514, top + 468};
    const int area = (bulletin.right - bulletin.left) * (bulletin.bottom - bulletin.top);
    EXPECT_TRUE(WaitFor([&] {
      shot = Shot("3-bulletin");
      return CountColour(shot, bulletin, kBulletinColour) > area * 9 / 10;
    }));
  }
  {
    SCOPED_TRACE("a press shows the pressed look until the release");
    x_.Run("xdotool mousemove " + std::to_string(left + 180) + " " +
           std::to_string(top + 570) + " mousedown 1");
    const Bitmap pressed = gtk_test::ReadBmp24(kSkinDir + "FTP_cool_a_H_001b.bmp");
    EXPECT_TRUE(WaitFor([&] {
      shot = Shot("4-pressed");
      return BitmapMismatch(shot, left + 133, top + 552, pressed) == 0;
    }));
    x_.Run("xdotool mouseup 1");
    const Bitmap normal = gtk_test::ReadBmp24(kSkinDir + "FTP_cool_a_D_001b.bmp");
    EXPECT_TRUE(WaitFor([&] {
      shot = Shot("5-released");
      return BitmapMismatch(shot, left + 133, top + 552, normal) == 0;
    }));
  }
  {
    SCOPED_TRACE("dragging the skin moves the window");
    // Neither the right button on the skin nor the left one on the progress
    // bar moves the window: the final place below is exactly one drag away.
    drag(3, left + 60, top + 300, dx, dy);
    drag(1, left + 200, top + 522, dx, dy);
    drag(1, left + 60, top + 300, dx, dy);
    const std::vector<Box> covered{{117, 220, 514, 468}, {113, 480, 518, 534}, {133, 552, 649, 588}};
    const bool moved = WaitFor([&] {
      shot = Shot("6-dragged");
      const OutlineMismatch m = CompareWithSkin(shot, left + dx, top + dy, main_skin,
                                                std::string(Form1StoredMask2()), covered);
      return m.inside == 0 && m.outside == 0;
    });
    EXPECT_TRUE(moved);
  }
  int exit_code = 0;
  EXPECT_TRUE(x_.ProgramRunning(pid, &exit_code)) << "exit code " << exit_code;
}

TEST_F(UpdaterWindowTest, LongServerListShowsTheRememberedChoiceAndScrolls) {
  std::string servers;
  for (int i = 0; i < 40; ++i) servers += "Server" + std::to_string(i) + " 127.0.0.1 1 5000 anonymous\r\n";
  game_.Write("isp0.dat", servers + "end\r\n");
  game_.Write("isp1.dat", "33\r\n");
  x_.StartProgram({updater_}, game_.path());
  const Box list{kWindowLeft + 118, kWindowTop + 223, kWindowLeft + 513, kWindowTop + 524};
  constexpr uint32_t kSelection = 0x0078D7;
  Screenshot shot;
  EXPECT_TRUE(WaitFor([&] {
    shot = Shot("remembered");
    return CountColour(shot, list, kSelection) > 1000;
  })) << "entry 33 is scrolled into view, selected";
  for (int notch = 0; notch < 12; ++notch) Click(kWindowLeft + 300, kWindowTop + 400, 4);  // wheel up
  EXPECT_TRUE(WaitFor([&] {
    shot = Shot("scrolled-up");
    return CountColour(shot, list, kSelection) == 0;
  })) << "the wheel scrolls the selection out of view";
  Click(kWindowLeft + 300, kWindowTop + 223 + 2 + 16 * 2 + 8);  // the third entry shown: Server2
  Click(kWindowLeft + 340, kWindowTop + 566);                    // OK
  EXPECT_TRUE(WaitFor([&] { return game_.Read("isp1.dat") == "2\r\n"; })) << game_.Read("isp1.dat");
}

// The display names of isp0.dat are Big5 and the dialog's list draws in
// Big5 whatever the language: on the screen each entry looks as the name
// decoded from Big5 looks (a name decoded in the language's set would not).
TEST_F(UpdaterWindowTest, Big5ServerNamesAreReadableInEveryLanguage) {
  game_.Write("isp0.dat", "\xA5\x78\xA5\x5F\xA4\x40\xAA\x41 127.0.0.1 1 5000 anonymous\r\n"  // 台北一服
                          "\xB0\xAA\xB6\xAF\xA4\x47\xAA\x41 127.0.0.1 1 5000 anonymous\r\n"  // 高雄二服
                          "end\r\n");
  const vcl::FontSpec list_font{"Fixedsys", 16, 0};
  const struct {
    const char* language;
    const char* other;
  } cases[] = {{"zh_TW.UTF-8", "其它"}, {"zh_CN.UTF-8", "其它"}, {"en_US.UTF-8", "Other"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language);
    const pid_t pid = x_.StartProgram({updater_}, game_.path(), c.language);
    // Entry 0 and entry 2 (entry 1 is selected): the rows between the
    // list's border, 16 pixels each, the text 2 pixels in from their left.
    const struct {
      int index;
      std::string text;
    } rows[] = {{0, "台北一服"}, {2, c.other}};
    Screenshot shot;
    for (const auto& row : rows) {
      SCOPED_TRACE(row.text);
      const Screenshot expected = RenderText(row.text, list_font, 2, 0, 395, 16);
      const int left = kWindowLeft + 118, top = kWindowTop + 223 + 16 * row.index;
      // The smoothing of glyph edges may differ a little from the test's
      // rendering; no pixel may be dark in one picture and light in the other.
      constexpr int kTolerance = 127;
      const bool drawn = WaitFor([&] {
        shot = Shot(std::string(c.language) + "-dialog");
        return PictureMismatch(shot, left, top, expected, kTolerance) == 0;
      }, std::chrono::seconds(20));
      EXPECT_TRUE(drawn) << PictureMismatch(shot, left, top, expected, kTolerance) << " pixels differ";
    }
    int exit_code = 0;
    EXPECT_TRUE(x_.ProgramRunning(pid, &exit_code)) << "exit code " << exit_code;
    x_.StopProgram(pid);
  }
}

TEST_F(UpdaterWindowTest, HomePageButtonOpensTheConfiguredPageOverTheWholeScreen) {
  SilentServer server;
  ASSERT_NE(0, server.port());
  WriteServerList(server.port(), 60000);
  const std::string page = game_.Write("home.htm", "<html><body style=\"background:#00ff00\">home</body></html>");
  game_.Write("FtpConfig.ini", "[HOMEPAGE]\r\nHOME=file://" + page + "\r\n");
  const pid_t pid = StartAndConfirmServer();
  ASSERT_TRUE(WaitFor([&] { return x_.Run("xdotool search --onlyvisible --name '^update$' >/dev/null") == 0; }));
  Click(kWindowLeft + 495, kWindowTop + 570);  // Home page
  const Box screen{0, 0, XSession::kScreenWidth, XSession::kScreenHeight};
  Screenshot shot;
  EXPECT_TRUE(WaitFor([&] {
    shot = Shot("home-page");
    return CountColour(shot, screen, 0x00FF00) > XSession::kScreenWidth * XSession::kScreenHeight * 9 / 10;
  })) << "the page covers the screen";
  EXPECT_TRUE(x_.ProgramRunning(pid)) << "the updater waits for the page window to close";
}

TEST_F(UpdaterWindowTest, SecondStartActivatesTheRunningWindowAndEnds) {
  x_.StartProgram({"/usr/bin/xmessage", "-title", "Zkftpup", "running"}, game_.path());
  ASSERT_TRUE(WaitFor([&] { return x_.Run("xdotool search --name '^Zkftpup$' >/dev/null") == 0; }));
  game_.Write("isp0.dat", "end\r\n");
  const pid_t pid = x_.StartProgram({updater_}, game_.path());
  int exit_code = -1;
  EXPECT_TRUE(WaitFor([&] { return !x_.ProgramRunning(pid, &exit_code); }));
  EXPECT_EQ(0, exit_code);
  EXPECT_FALSE(std::filesystem::exists(game_.path() + "isp1.dat")) << "no dialog was confirmed";
  EXPECT_NE(0, x_.Run("xdotool search --name '^update$' >/dev/null")) << "no main window";
}

TEST_F(UpdaterWindowTest, WindowsWithOtherTitlesDoNotStopAStart) {
  x_.StartProgram({"/usr/bin/xmessage", "-title", "Vortftpup", "running"}, game_.path());
  x_.StartProgram({"/usr/bin/xmessage", "-title", "update", "running"}, game_.path());
  x_.StartProgram({"/usr/bin/xmessage", "-title", "Zkftpup2", "running"}, game_.path());
  ASSERT_TRUE(WaitFor([&] { return x_.Run("xdotool search --name '^Zkftpup2$' >/dev/null") == 0; }));
  game_.Write("isp0.dat", "end\r\n");
  const pid_t pid = x_.StartProgram({updater_}, game_.path());
  EXPECT_TRUE(WaitFor([&] {
    return x_.Run("xdotool search --onlyvisible --pid " + std::to_string(pid) + " >/dev/null") == 0;
  })) << "the server dialog opens";
  EXPECT_TRUE(x_.ProgramRunning(pid));
}

}  // namespace
}  // namespace gtk_test
