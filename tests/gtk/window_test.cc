// The `updater` window as a person sees it, on a private X server: the
// server dialog, the main window cut to its stored outline, the image
// buttons and their pressed looks, the bulletin, dragging the window, and
// the hand-over to an already running updater. Screenshots of each step
// are kept under the build folder (gtk-screenshots/).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "skin_design_data.h"
#include "skin_files.h"
#include "support/ftp_servers.h"
#include "support/temp_folder.h"
#include "x_session.h"

namespace {

using gtk_test::Bitmap;
using gtk_test::Box;
using gtk_test::Screenshot;
using gtk_test::WaitFor;
using gtk_test::XSession;

constexpr uint32_t kWhiteRoot = 0xFFFFFF;
constexpr uint32_t kBulletinColour = 0xFF00FF;
// Where start-up places the windows on the 1280 x 1024 test screen.
constexpr int kWindowLeft = (XSession::kScreenWidth - 924) / 2;
constexpr int kWindowTop = (XSession::kScreenHeight - 680) / 3;

const std::string kSkinDir = UPDATER_SOURCE_DIR "/data/skin/Ftp/";
const std::string kShotDir = UPDATER_BINARY_DIR "/gtk-screenshots/";

// A loopback port that accepts connections and never says a word, so the
// updater's check waits quietly while the window is looked at.
class SilentServer {
 public:
  SilentServer() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(fd_, 4) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { close(fd_); }
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

// Pixels of the window at (left, top) that differ from what a person should
// see: the skin inside the stored outline (but for the areas controls
// cover), the white root window outside it.
struct OutlineMismatch {
  int inside = 0;
  int outside = 0;
};

OutlineMismatch CompareWithSkin(const Screenshot& shot, int left, int top, const Bitmap& skin,
                                const std::string& mask2, const std::vector<Box>& covered) {
  OutlineMismatch mismatch;
  const std::vector<Box> outline = gtk_test::OutlineRects(mask2);
  std::vector<bool> inside(static_cast<size_t>(skin.width) * skin.height);
  for (const Box& r : outline)
    for (int y = r.top; y < r.bottom && y < skin.height; ++y)
      for (int x = r.left; x < r.right && x < skin.width; ++x) inside[y * skin.width + x] = true;
  for (int y = 0; y < skin.height; y += 2) {
    for (int x = 0; x < skin.width; x += 2) {
      if (!shot.Contains(left + x, top + y)) continue;
      const uint32_t seen = shot.At(left + x, top + y);
      if (!inside[y * skin.width + x]) {
        mismatch.outside += seen != kWhiteRoot;
        continue;
      }
      bool is_covered = false;
      for (const Box& box : covered) is_covered = is_covered || box.Contains(x, y);
      if (!is_covered) mismatch.inside += seen != skin.At(x, y);
    }
  }
  return mismatch;
}

// Pixels of `bitmap` drawn at (left, top) that the screen does not show.
int BitmapMismatch(const Screenshot& shot, int left, int top, const Bitmap& bitmap) {
  int mismatch = 0;
  for (int y = 0; y < bitmap.height; ++y)
    for (int x = 0; x < bitmap.width; ++x)
      mismatch += !shot.Contains(left + x, top + y) || shot.At(left + x, top + y) != bitmap.At(x, y);
  return mismatch;
}

int CountMatching(const Screenshot& shot, Box area, const std::function<bool(uint32_t)>& wanted) {
  int count = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) count += shot.Contains(x, y) && wanted(shot.At(x, y));
  return count;
}

int CountColour(const Screenshot& shot, Box area, uint32_t colour) {
  return CountMatching(shot, area, [colour](uint32_t seen) { return seen == colour; });
}

// Text is smoothed at its edges: its core pixels are near the text colour.
bool Yellowish(uint32_t rgb) { return (rgb >> 16) > 200 && ((rgb >> 8) & 0xFF) > 200 && (rgb & 0xFF) < 100; }

class UpdaterWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!x_.Available()) GTEST_SKIP() << x_.Unavailable();
    std::filesystem::create_directories(kShotDir);
    const std::filesystem::path built = UPDATER_BINARY_DIR "/src/frontends/gtk/updater";
    std::filesystem::copy_file(built, game_.path() + "updater");
    std::filesystem::copy(kSkinDir, game_.path() + "Ftp");
    game_.Write("bulletin.htm",
                "<html><body style=\"background:#ff00ff;margin:0\">news</body></html>");
    updater_ = game_.path() + "updater";
  }

  // A screenshot kept as gtk-screenshots/<name>.png.
  Screenshot Shot(const std::string& name) {
    return x_.Capture(kShotDir + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                      "-" + name + ".png");
  }

  void Click(int x, int y, int button = 1) {
    x_.Run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click " +
           std::to_string(button));
  }

  XSession x_;
  test_support::TempFolder game_;
  std::string updater_;
};

TEST_F(UpdaterWindowTest, DialogThenShapedMainWindowWithButtonsBulletinAndDrag) {
  SilentServer server;
  ASSERT_NE(0, server.port());
  game_.Write("isp0.dat", "Local 127.0.0.1 " + std::to_string(server.port()) +
                              " 60000 anonymous\r\nend\r\n");
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
  {
    SCOPED_TRACE("confirming shows the main window where the dialog was");
    Click(kWindowLeft + 340, kWindowTop + 566);
    const std::vector<Box> covered{{117, 220, 514, 468}, {113, 480, 518, 534}, {133, 552, 649, 588}};
    const bool shown = WaitFor([&] {
      shot = Shot("2-main");
      const OutlineMismatch m =
          CompareWithSkin(shot, kWindowLeft, kWindowTop, main_skin, std::string(Form1StoredMask2()), covered);
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
      EXPECT_EQ(0, BitmapMismatch(shot, kWindowLeft + button.left, kWindowTop + 552,
                                  gtk_test::ReadBmp24(kSkinDir + button.file)));
    }
    // The progress bar is black and empty; "0% " in yellow lies over it.
    const Box gauge{kWindowLeft + 119, kWindowTop + 518, kWindowLeft + 513, kWindowTop + 527};
    EXPECT_GT(CountColour(shot, gauge, 0x000000), 394 * 9 / 2);
    EXPECT_GT(CountMatching(shot, {kWindowLeft + 290, kWindowTop + 512, kWindowLeft + 345, kWindowTop + 532},
                            Yellowish), 10);
  }
  {
    SCOPED_TRACE("the bulletin page fills its area");
    const Box bulletin{kWindowLeft + 117, kWindowTop + 220, kWindowLeft + 514, kWindowTop + 468};
    const int area = (bulletin.right - bulletin.left) * (bulletin.bottom - bulletin.top);
    EXPECT_TRUE(WaitFor([&] {
      shot = Shot("3-bulletin");
      return CountColour(shot, bulletin, kBulletinColour) > area * 9 / 10;
    }));
  }
  {
    SCOPED_TRACE("a press shows the pressed look until the release");
    x_.Run("xdotool mousemove " + std::to_string(kWindowLeft + 180) + " " +
           std::to_string(kWindowTop + 570) + " mousedown 1");
    const Bitmap pressed = gtk_test::ReadBmp24(kSkinDir + "FTP_cool_a_H_001b.bmp");
    EXPECT_TRUE(WaitFor([&] {
      shot = Shot("4-pressed");
      return BitmapMismatch(shot, kWindowLeft + 133, kWindowTop + 552, pressed) == 0;
    }));
    x_.Run("xdotool mouseup 1");
    const Bitmap normal = gtk_test::ReadBmp24(kSkinDir + "FTP_cool_a_D_001b.bmp");
    EXPECT_TRUE(WaitFor([&] {
      shot = Shot("5-released");
      return BitmapMismatch(shot, kWindowLeft + 133, kWindowTop + 552, normal) == 0;
    }));
  }
  {
    SCOPED_TRACE("dragging the skin moves the window");
    const int dx = 150, dy = 90;
    const int x0 = kWindowLeft + 60, y0 = kWindowTop + 300;
    x_.Run("xdotool mousemove " + std::to_string(x0) + " " + std::to_string(y0) + " mousedown 1");
    for (int step = 1; step <= 5; ++step)
      x_.Run("xdotool mousemove " + std::to_string(x0 + dx * step / 5) + " " + std::to_string(y0 + dy * step / 5));
    x_.Run("xdotool mouseup 1");
    const std::vector<Box> covered{{117, 220, 514, 468}, {113, 480, 518, 534}, {133, 552, 649, 588}};
    const bool moved = WaitFor([&] {
      shot = Shot("6-dragged");
      const OutlineMismatch m = CompareWithSkin(shot, kWindowLeft + dx, kWindowTop + dy, main_skin,
                                                std::string(Form1StoredMask2()), covered);
      return m.inside == 0 && m.outside == 0;
    });
    EXPECT_TRUE(moved);
  }
  int exit_code = 0;
  EXPECT_TRUE(x_.ProgramRunning(pid, &exit_code)) << "exit code " << exit_code;
}

TEST_F(UpdaterWindowTest, NoServerBoxThenExitQuestionNoKeepsTheWindowYesEndsIt) {
  int closed_port = 0;
  {
    SilentServer gone;  // a port that nothing listens on any more
    closed_port = gone.port();
  }
  game_.Write("isp0.dat", "Local 127.0.0.1 " + std::to_string(closed_port) + " 5000 anonymous\r\nend\r\n");
  const pid_t pid = x_.StartProgram({updater_}, game_.path());
  ASSERT_TRUE(WaitFor([&] { return x_.Run("xdotool search --onlyvisible --pid " + std::to_string(pid) + " >/dev/null") == 0; }));
  Click(kWindowLeft + 340, kWindowTop + 566);  // OK in the server dialog
  const std::string find_box = "xdotool search --onlyvisible --name '^Vortftpup$'";
  // Answers the box that is open now with `key`, keeping a screenshot of it.
  auto answer_box = [&](const std::string& shot_name, const std::string& key) {
    std::string box;
    ASSERT_TRUE(WaitFor([&] { return x_.Run(find_box, &box) == 0; }));
    Shot(shot_name);
    box = box.substr(0, box.find('\n'));
    x_.Run("xdotool windowfocus --sync " + box + " key " + key);
    EXPECT_TRUE(WaitFor([&] { return x_.Run(find_box + " >/dev/null") != 0; })) << "the box closes";
  };
  {
    SCOPED_TRACE("no usable server: an information box with OK");
    answer_box("no-server", "Return");
  }
  {
    SCOPED_TRACE("the exit question answered No");
    Click(kWindowLeft + 600, kWindowTop + 570);
    answer_box("exit-no", "Escape");
    int exit_code = 0;
    EXPECT_TRUE(x_.ProgramRunning(pid, &exit_code)) << exit_code;
  }
  {
    SCOPED_TRACE("the exit question answered Yes");
    Click(kWindowLeft + 600, kWindowTop + 570);
    answer_box("exit-yes", "Return");
    int exit_code = -1;
    EXPECT_TRUE(WaitFor([&] { return !x_.ProgramRunning(pid, &exit_code); }));
    EXPECT_EQ(0, exit_code);
  }
}

TEST_F(UpdaterWindowTest, UpdateButtonInstallsFilesThenStartGameStartsTheGame) {
  // The server's update set: two plain files and a fresh bulletin.
  test_support::TempFolder server_root;
  const std::string readme = "Welcome to the game.\r\n";
  const std::string weapons = "[Weapons]\r\nSword=1\r\n";
  server_root.Write("Readme.txt", readme);
  server_root.Write("Weapons.ini", weapons);
  server_root.Write("bulletin.htm", "<html><body style=\"background:#00ff00\">fresh</body></html>");
  server_root.Write("update3.dat", "GAME\r\n"
                    "O Readme.txt Help\\Readme.txt 20240101 " + std::to_string(readme.size()) + "\r\n"
                    "O Weapons.ini System\\Weapons.ini 20240102 " + std::to_string(weapons.size()) + "\r\n");
  std::unique_ptr<test_support::FtpServer> server;
  try {
    server = test_support::FtpServer::Start(test_support::FtpServerKind::kPyftpdlib, server_root.path());
  } catch (const std::exception& e) {
    GTEST_SKIP() << "no FTP server: " << e.what();
  }
  game_.Write("isp0.dat", "Local 127.0.0.1 " + std::to_string(server->port()) + " 10000 anonymous\r\nend\r\n");
  // The game: a script that notes it was started.
  game_.Write("startgame.sh", "#!/bin/sh\necho started > \"$(dirname \"$0\")/started.txt\"\n");
  std::filesystem::permissions(game_.path() + "startgame.sh", std::filesystem::perms::owner_all);
  game_.Write("FtpConfig.ini", "[EXECUTE]\r\nEXEFILE=startgame.sh\r\n");

  const pid_t pid = x_.StartProgram({updater_}, game_.path());
  ASSERT_TRUE(WaitFor([&] { return x_.Run("xdotool search --onlyvisible --pid " + std::to_string(pid) + " >/dev/null") == 0; }));
  Click(kWindowLeft + 340, kWindowTop + 566);  // OK in the server dialog
  Screenshot shot;
  {
    SCOPED_TRACE("the check downloads the server list and reports what is to do");
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(game_.path() + "update3.dat"); }));
    // The status text (aqua) sits above the progress bar once the check has run.
    const Box status{kWindowLeft + 117, kWindowTop + 484, kWindowLeft + 514, kWindowTop + 506};
    EXPECT_TRUE(WaitFor([&] {
      shot = Shot("1-checked");
      return CountMatching(shot, status, [](uint32_t rgb) {
               return (rgb >> 16) < 60 && ((rgb >> 8) & 0xFF) > 200 && (rgb & 0xFF) > 200;
             }) > 20;
    }));
  }
  const Bitmap start_game = gtk_test::ReadBmp24(kSkinDir + "FTP_cool_b_D_001b.bmp");
  {
    SCOPED_TRACE("the update button installs the files and shows the start-game button");
    EXPECT_GT(BitmapMismatch(shot, kWindowLeft + 134, kWindowTop + 552, start_game), 0);
    bool armed = false;
    // The button acts once the check has armed it; press until the run starts.
    EXPECT_TRUE(WaitFor([&] {
      if (!armed) Click(kWindowLeft + 182, kWindowTop + 570);
      shot = Shot("2-updated");
      armed = armed || std::filesystem::exists(game_.path() + "Help/Readme.txt");
      return BitmapMismatch(shot, kWindowLeft + 134, kWindowTop + 552, start_game) == 0;
    }, std::chrono::seconds(40)));
    EXPECT_EQ(readme, server_root.Read("Readme.txt"));
    EXPECT_EQ(readme, game_.Read("Help/Readme.txt"));
    EXPECT_EQ(weapons, game_.Read("System/Weapons.ini"));
    const std::string record = game_.Read("update2.dat");
    EXPECT_NE(std::string::npos, record.find("Help\\Readme.txt 20240101")) << record;
    EXPECT_NE(std::string::npos, record.find("System\\Weapons.ini 20240102")) << record;
  }
  {
    SCOPED_TRACE("the start-game button starts the game and closes the updater");
    Click(kWindowLeft + 182, kWindowTop + 570);
    EXPECT_TRUE(WaitFor([&] { return game_.Read("started.txt") == "started\n"; }));
    int exit_code = -1;
    EXPECT_TRUE(WaitFor([&] { return !x_.ProgramRunning(pid, &exit_code); }));
  }
}

TEST_F(UpdaterWindowTest, DamagedDownloadShowsTheUnpackersAbortBoxAndTheRunGoesOn) {
  test_support::TempFolder server_root;
  // A gzip header followed by data that does not inflate.
  const std::string broken = std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + "\xff\xff not deflate data";
  server_root.Write("Broken.gz", broken);
  server_root.Write("update3.dat", "GAME\r\nE Broken.gz System\\Broken.ini 20240101 " +
                                       std::to_string(broken.size()) + "\r\n");
  std::unique_ptr<test_support::FtpServer> server;
  try {
    server = test_support::FtpServer::Start(test_support::FtpServerKind::kPyftpdlib, server_root.path());
  } catch (const std::exception& e) {
    GTEST_SKIP() << "no FTP server: " << e.what();
  }
  game_.Write("isp0.dat", "Local 127.0.0.1 " + std::to_string(server->port()) + " 10000 anonymous\r\nend\r\n");
  const pid_t pid = x_.StartProgram({updater_}, game_.path());
  ASSERT_TRUE(WaitFor([&] { return x_.Run("xdotool search --onlyvisible --pid " + std::to_string(pid) + " >/dev/null") == 0; }));
  Click(kWindowLeft + 340, kWindowTop + 566);  // OK in the server dialog
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(game_.path() + "update3.dat"); }));
  const std::string find_error_box = "xdotool search --onlyvisible --name '^Error$'";
  std::string box;
  // The update button acts once the check has armed it; press until the box comes.
  ASSERT_TRUE(WaitFor([&] {
    if (x_.Run(find_error_box, &box) == 0) return true;
    Click(kWindowLeft + 182, kWindowTop + 570);
    return false;
  }));
  Shot("abort-box");
  x_.Run("xdotool windowfocus --sync " + box.substr(0, box.find('\n')) + " key alt+a");
  EXPECT_TRUE(WaitFor([&] { return x_.Run(find_error_box + " >/dev/null") != 0; })) << "Alt+A presses Abort";
  // The run then goes on to its end: the start-game button, or the in-use
  // stop that ends the program after its own box.
  const Bitmap start_game = gtk_test::ReadBmp24(kSkinDir + "FTP_cool_b_D_001b.bmp");
  EXPECT_TRUE(WaitFor([&] {
    if (x_.Run("xdotool search --onlyvisible --name '^Vortftpup$'", &box) == 0)
      x_.Run("xdotool windowfocus --sync " + box.substr(0, box.find('\n')) + " key Return");
    return !x_.ProgramRunning(pid) ||
           BitmapMismatch(Shot("after-abort"), kWindowLeft + 134, kWindowTop + 552, start_game) == 0;
  }));
}

TEST_F(UpdaterWindowTest, HomePageButtonOpensTheConfiguredPageOverTheWholeScreen) {
  SilentServer server;
  ASSERT_NE(0, server.port());
  game_.Write("isp0.dat", "Local 127.0.0.1 " + std::to_string(server.port()) + " 60000 anonymous\r\nend\r\n");
  const std::string page = game_.Write("home.htm", "<html><body style=\"background:#00ff00\">home</body></html>");
  game_.Write("FtpConfig.ini", "[HOMEPAGE]\r\nHOME=file://" + page + "\r\n");
  const pid_t pid = x_.StartProgram({updater_}, game_.path());
  ASSERT_TRUE(WaitFor([&] { return x_.Run("xdotool search --onlyvisible --pid " + std::to_string(pid) + " >/dev/null") == 0; }));
  Click(kWindowLeft + 340, kWindowTop + 566);  // OK in the server dialog
  ASSERT_TRUE(WaitFor([&] { return x_.Run("xdotool search --onlyvisible --name '^update$' >/dev/null") == 0; }));
  Click(kWindowLeft + 495, kWindowTop + 570);  // Home page
  const Box screen{0, 0, XSession::kScreenWidth, XSession::kScreenHeight};
  Screenshot shot;
  EXPECT_TRUE(WaitFor([&] {
    shot = Shot("home-page");
    return CountColour(shot, screen, 0x00FF00) > XSession::kScreenWidth * XSession::kScreenHeight * 9 / 10;
  })) << "the page covers the screen";
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

}  // namespace
