// updater-cli --check against real servers on loopback: a damaged game
// folder repaired from the FTP server the update check connected to, by
// the names of its listing; the check after the update run over FTP and
// HTTP(S).
#include <gtest/gtest.h>

#include "check_fixture.h"
#include "datec_builder.h"
#include "e2e/cli_e2e_fixture.h"

namespace test_support {
namespace {

using Lines = std::vector<std::string>;

constexpr int64_t kStamp = 1700000000;

class CliCheckTest : public CliE2eTest {
 protected:
  void WriteDatec(const std::vector<DatecEntry>& entries) const {
    root.Write("game/datec.dat", BuildDatec(entries));
  }
  // A game file last written at unix_seconds.
  void PutGameFile(const std::string& name, const std::string& bytes, int64_t unix_seconds) const {
    ASSERT_TRUE(SetLastWrite(root.Write("game/" + name, bytes), unix_seconds));
  }

  // updater-cli inherits it: a folder other than the game folder, as when
  // the program is started from a desktop menu.
  ScopedCurrentFolder current;
};

// The repair by base name from the server's name listing, which FTP has.
class CliFtpCheckTest : public CliCheckTest {};

TEST_P(CliFtpCheckTest, RepairsADamagedGameFolder) {
  WriteImportTool();
  set.AddE("Core.u.gz", "System\\Core.u", "20240101", "core code");
  set.AddBundle("T", "Trees.gz", "Trees.bnd", "20240101", {{"Textures\\Trees\\Oak.pcx", "oak"}}, "Trees");
  set.WriteList();
  set.PutFile("CORE.GZP", Gzip("core code"));
  set.PutFile("readme.txt", "read me");
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  root.Write("game/update2.dat", "AVWSEN\r\nSystem\\Core.u 20240101\r\nTrees.bnd 20240101\r\n");
  PutGameFile("System/Core.u", "damaged", kStamp);
  PutGameFile("Help/Readme.txt", "READ ME", kStamp - 7200);
  WriteDatec({{"Core.u", "System\\", Days(kStamp), 9},
              {"Readme.txt", "Help\\", Days(kStamp), 7},
              {"Trees.utx", "Textures\\", Days(kStamp), 4},
              {"Gone.map", "Maps\\", Days(kStamp), 1}});

  const CliResult r = Run({"--server", "0", "--check"});
  EXPECT_EQ(r.exit_code, 3) << "a file stays unrepaired: " << r.out << r.err;
  EXPECT_EQ(r.err, "updater-cli: --check: 1 file not repaired, listed in " + game_dir + "ErrorList.TXT\n");
  EXPECT_EQ(r.Lines(), (Lines{"connecting...", "0files remain to be updated", "No files updateing needed",
                              "4files check to be updated", "3files check to be updated",
                              "2files check to be updated", "1files check to be updated",
                              "files can,t check, please try again"}));
  EXPECT_EQ(Game("System/Core.u"), "core code");
  EXPECT_FALSE(GameHas("System/CORE.GZP"));
  EXPECT_EQ(Game("Help/Readme.txt"), "read me") << "the server's name found the file ignoring case";
  EXPECT_EQ(Game("Textures/Trees/Oak.pcx"), "oak");
  EXPECT_EQ(ImportCalls(1), Lines{"pkg import texture ..\\Textures\\Trees ..\\Trees"});
  EXPECT_EQ(Game("ErrorList.TXT"), game_dir + "Maps/Gone.map\r\n");
  EXPECT_EQ(current.folder.Read("ErrorList.TXT"), "<missing>") << "written to the game folder, not the current one";
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\nSystem\\Core.u 20240101\r\nTrees.bnd 20240101\r\n")
      << "the check records nothing";
}

TEST_P(CliCheckTest, ChecksAfterTheUpdateRun) {
  set.AddE("Core.u.gz", "System\\Core.u", "20240101", "core code");
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  WriteDatec({{"Core.u", "System\\", Days(kStamp), 9}});

  const CliResult r = Run({"--server", "0", "--update", "--check"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.Lines(), (Lines{"connecting...", "1file remain to be updated", "0files remain to be updated",
                              "files updated", "files checked"}));
  EXPECT_EQ(Game("ErrorList.TXT"), "<missing>");

  SCOPED_TRACE("without the update run the check waits for the start-game button");
  root.Write("game/update2.dat", "AVWSEN\r\n");
  const CliResult waiting = Run({"--server", "0", "--check"});
  EXPECT_EQ(waiting.exit_code, 0) << waiting.out;
  EXPECT_NE(waiting.err.find("--check"), std::string::npos) << waiting.err;
  EXPECT_EQ(waiting.Lines().back(), "1file remain to be updated");
}

TEST_P(CliCheckTest, InvalidListShowsTheErrorBox) {
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  root.Write("game/datec.dat", DatecTrailer(0));
  const CliResult r = Run({"--server", "0", "--check"});
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_EQ(r.Lines().back(), "Range check error");
}

INSTANTIATE_TEST_SUITE_P(RealServers, CliCheckTest,
                         ::testing::ValuesIn(EveryServerSetting()), SettingName);
INSTANTIATE_TEST_SUITE_P(RealServers, CliFtpCheckTest,
                         ::testing::ValuesIn(FtpServerSettings()), SettingName);

}  // namespace
}  // namespace test_support
