// The `updater` window at work against loopback servers: the boxes a
// person answers (no usable server, the exit question, the unpacker's Abort
// box) and a whole update from a real FTP server up to starting the game.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>


#include "skin_design_data.h"
#include "support/ftp_servers.h"
#include "updater_window_fixture.h"

namespace gtk_test {
namespace {

TEST_F(UpdaterWindowTest, NoServerBoxThenExitQuestionNoKeepsTheWindowYesEndsIt) {
  int closed_port = 0;
  {
    SilentServer gone;  // a port that nothing listens on any more
    closed_port = gone.port();
  }
  WriteServerList(closed_port, 5000);
  const pid_t pid = StartAndConfirmServer();
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
    FAIL() << "no FTP server: " << e.what();
  }
  WriteServerList(server->port(), 10000);
  // The game: a script that notes it was started.
  game_.Write("startgame.sh", "#!/bin/sh\necho started > \"$(dirname \"$0\")/started.txt\"\n");
  std::filesystem::permissions(game_.path() + "startgame.sh", std::filesystem::perms::owner_all);
  game_.Write("FtpConfig.ini", "[EXECUTE]\r\nEXEFILE=startgame.sh\r\n");

  const pid_t pid = StartAndConfirmServer();
  Screenshot shot;
  {
    SCOPED_TRACE("the check downloads the server list and reports what is to do");
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(game_.path() + "update3.dat"); }));
    // The status text (aqua) sits above the progress bar once the check has run.
    const Box status{kWindowLeft + 117, kWindowTop + 484, kWindowLeft + 514, kWindowTop + 506};
    EXPECT_TRUE(WaitFor([&] {
      shot = Shot("1-checked");
      return CountMatching(shot, status, Aquaish) > 20;
    }));
  }
  const Bitmap start_game = gtk_test::ReadBmp24(kSkinDir + "FTP_cool_b_D_001b.bmp");
  {
    SCOPED_TRACE("the update button installs the files and shows the start-game button");
    EXPECT_GT(BitmapMismatch(shot, kWindowLeft + 134, kWindowTop + 552, start_game), 0);
    bool armed = false;
    // The button acts once the check has armed it; press until the run starts.
    // The press goes to the update button's first column, which the
    // start-game button (one pixel to the right) never covers, so a press
    // that comes as the run ends cannot start the game.
    EXPECT_TRUE(WaitFor([&] {
      if (!armed) Click(kWindowLeft + 133, kWindowTop + 570);
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
    FAIL() << "no FTP server: " << e.what();
  }
  WriteServerList(server->port(), 10000);
  const pid_t pid = StartAndConfirmServer();
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
  // Damaged data is no file in use: the entry is passed over, unrecorded,
  // and the run goes on to the start-game button with the program running.
  const Bitmap start_game = gtk_test::ReadBmp24(kSkinDir + "FTP_cool_b_D_001b.bmp");
  int exit_code = -1;
  ASSERT_TRUE(WaitFor([&] {
    if (!x_.ProgramRunning(pid, &exit_code)) return true;
    return BitmapMismatch(Shot("after-abort"), kWindowLeft + 134, kWindowTop + 552, start_game) == 0;
  })) << "the start-game button never came";
  EXPECT_TRUE(x_.ProgramRunning(pid, &exit_code)) << "the program ended, exit code " << exit_code;
  EXPECT_NE(x_.Run("xdotool search --onlyvisible --name '^Vortftpup$' >/dev/null"), 0) << "an in-use box";
  EXPECT_EQ(std::string::npos, game_.Read("update2.dat").find("Broken.ini")) << "the entry is not recorded";
}

}  // namespace
}  // namespace gtk_test
