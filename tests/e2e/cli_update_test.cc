// updater-cli against real servers on loopback (FTP, and HTTP(S) where the
// protocol does not matter): installs, changes, refusals, fallback and the
// mended handling of hostile names.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "cli_e2e_fixture.h"
#include "support/wait_until.h"

namespace test_support {
namespace {

using Lines = std::vector<std::string>;

class CliUpdateTest : public CliE2eTest {
 protected:
  // Forty entries of both kinds and a bundle, for the runs that fetch ahead.
  void ServeFortyOneEntries() {
    for (int i = 0; i < 40; ++i) {
      const std::string n = std::to_string(i);
      const std::string folder = i % 3 == 0 ? "Maps\\" : "System\\";
      if (i % 2 == 0) {
        set.AddE("f" + n + ".gz", folder + "F" + n + ".u", "7", std::string(3000 + i * 500, char('a' + i % 26)));
      } else {
        set.AddO("f" + n + ".txt", folder + "F" + n + ".txt", "7", "text " + n);
      }
    }
    set.AddBundle("C", "Maps.gz", "Maps.bnd", "7", {{"Maps\\Town.map", "town"}});
    set.WriteList();
  }
  // Every file and folder of a game folder updated afresh from `server`
  // with `connections`, each file with its content.
  std::string TreeAfterFreshRun(const UpdateServer& server, int connections) {
    SCOPED_TRACE(std::to_string(connections) + " connections to " + server.Name());
    std::filesystem::remove_all(game_dir);
    WriteServers({ServerLine("Local", server)});
    WriteNetworkSettings("CONNECTIONS=" + std::to_string(connections) + "\r\n");
    const CliResult r = Run({"--server", "0", "--update"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.Lines().size(), 44u) << r.out;
    EXPECT_EQ(r.Lines().back(), "files updated");
    std::string tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(game_dir)) {
      const std::string name = entry.path().string().substr(game_dir.size());
      // The lock file names the process of each run.
      if (name == "FtpConfig.ini" || name == "isp0.dat" || name == "update.lck") continue;
      tree += name + (entry.is_regular_file() ? " = " + Game(name) : "/") + "\n";
    }
    EXPECT_EQ(tree.find(".ahead"), std::string::npos) << tree;
    EXPECT_EQ(tree.find("tmp"), std::string::npos) << tree;
    return tree;
  }
};

// What depends on FTP: logins with a user, the server's connection limit.
class CliFtpUpdateTest : public CliUpdateTest {};

Lines Countdown(int from) {
  Lines lines;
  for (int n = from - 1; n >= 0; --n)
    lines.push_back(std::to_string(n) + (n == 1 ? "file" : "files") + " remain to be updated");
  return lines;
}

TEST_P(CliUpdateTest, FreshInstallOfEveryEntryType) {
  WriteImportTool();
  set.AddE("Core.u.gz", "System\\Core.u", "20240101", "core code");
  set.AddO("Readme.txt", "Help\\Docs\\Readme.txt", "20240101", "read me");
  set.AddBundle("C", "Maps.gz", "Maps.bnd", "20240101",
                {{"Maps\\Town.map", "town"}, {"Maps\\Forest\\Glade.map", "glade"}});
  set.AddBundle("T", "Trees.gz", "Trees.bnd", "20240101", {{"Textures\\Trees\\Oak.pcx", "oak"}}, "Trees");
  set.AddBundle("A", "Walk.gz", "Walk.bnd", "20240101", {{"Animations\\Walk.psa", "walk"}}, "Walk");
  set.AddBundle("S", "Rocks.gz", "Rocks.bnd", "20240101", {{"StaticMeshes\\Rock.ase", "rock"}}, "Rocks");
  set.AddBundle("W", "Birds.gz", "Birds.bnd", "20240101", {{"sounds\\Chirp.wav", "chirp"}}, "Birds");
  set.WriteList();
  set.PutFile("bulletin.htm", "<p>news</p>");
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  Lines expected = {"connecting...", "7files remain to be updated"};
  for (const std::string& line : Countdown(7)) expected.push_back(line);
  expected.push_back("files updated");
  EXPECT_EQ(r.Lines(), expected);
  EXPECT_EQ(r.err, "");

  EXPECT_EQ(Game("System/Core.u"), "core code");
  EXPECT_EQ(Game("Help/Docs/Readme.txt"), "read me");
  EXPECT_EQ(Game("Maps/Town.map"), "town");
  EXPECT_EQ(Game("Maps/Forest/Glade.map"), "glade");
  EXPECT_EQ(Game("Textures/Trees/Oak.pcx"), "oak");
  EXPECT_EQ(Game("Animations/Walk.psa"), "walk");
  EXPECT_EQ(Game("StaticMeshes/Rock.ase"), "rock");
  EXPECT_EQ(Game("sounds/Chirp.wav"), "chirp");
  for (const char* gone : {"Core.u.gz", "Maps.gz", "Maps.bnd", "Trees.gz", "Trees.bnd", "Birds.bnd"})
    EXPECT_FALSE(GameHas(gone)) << gone << " is left behind";
  EXPECT_EQ(Game("bulletin.htm"), "<p>news</p>");
  EXPECT_EQ(Game("isp1.dat"), "0\r\n");
  EXPECT_EQ(Game("update2.dat"),
            "AVWSEN\r\n\r\nSystem\\Core.u 20240101\r\nHelp\\Docs\\Readme.txt 20240101\r\nMaps.bnd 20240101\r\n"
            "Trees.bnd 20240101\r\nWalk.bnd 20240101\r\nRocks.bnd 20240101\r\nBirds.bnd 20240101\r\n");
  EXPECT_EQ(ImportCalls(4), (Lines{"pkg import SkelAnim ..\\Animations\\Walk ..\\Walk",
                                   "pkg import sound ..\\sounds\\Birds ..\\Birds",
                                   "pkg import staticmesh ..\\StaticMeshes\\Rocks ..\\Rocks",
                                   "pkg import texture ..\\Textures\\Trees ..\\Trees"}));

  SCOPED_TRACE("a second run finds nothing to update and shows the start-game button");
  const CliResult again = Run({"--update"});
  EXPECT_EQ(again.exit_code, 0) << again.out;
  EXPECT_EQ(again.Lines(), (Lines{"connecting...", "0files remain to be updated", "No files updateing needed"}));
}

// The started game ends the run while its connection is still up: that
// end is a success, not a stop at a file in use.
// A player's folder may be named in any script: the run reaches every file
// through that name (on Windows through the wide calls, never a code page).
TEST_P(CliUpdateTest, GameFolderNamedOutsideAsciiIsUpdatedInPlace) {
  set.AddE("Core.u.gz", "System\\Core.u", "1", "core code");
  set.AddO("Readme.txt", "Help\\Readme.txt", "1", "read me");
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  const std::string name = "Jos\xC3\xA9 \xE9\x81\x8A\xE6\x88\xB2/";  // "José 遊戲"
  std::filesystem::rename(game_dir, root.path() + name);

  // A UTF-8 locale, so that Wine, running the Windows build, reads the
  // argument's bytes as UTF-8 when it makes the wide command line.
  const CliResult r = RunUpdaterCli({"--dir", root.path() + name, "--server", "0", "--update"}, "C.UTF-8");
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.Lines().back(), "files updated") << r.out;
  EXPECT_EQ(root.Read(name + "System/Core.u"), "core code");
  EXPECT_EQ(root.Read(name + "Help/Readme.txt"), "read me");
  EXPECT_NE(root.Read(name + "update2.dat").find("System\\Core.u 1\r\n"), std::string::npos);
}

TEST_P(CliUpdateTest, StartedGameEndsTheRunWithSuccess) {
  set.AddE("Core.u.gz", "System\\Core.u", "1", "core");
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  {
    SCOPED_TRACE("no game to start: the error box");
    const CliResult r = Run({"--server", "0", "--update", "--start-game"});
    EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("Cannot start the game"), std::string::npos) << r.out;
  }
  const std::string game = root.Write("game/Quelmar.exe", "#!/bin/sh\necho \"$*\" > started.tmp && mv started.tmp started\n");
  chmod(game.c_str(), 0755);
  const CliResult r = Run({"--start-game"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(test_support::WaitUntil([this] { return GameHas("started"); }, "the game started"));
  EXPECT_EQ(Game("started"), "kvx\n");
}

// Every name is matched against the folders as the run itself has just
// changed them: files and folders made earlier in the run under another
// case are found and replaced, none is made twice.
TEST_P(CliUpdateTest, NamesDifferingOnlyInCaseLandInTheFoldersTheRunMade) {
  set.AddO("a.txt", "Data\\a.txt", "1", "a");
  set.AddO("B.txt", "DATA\\B.txt", "1", "b");
  set.AddE("A2.gz", "data\\A.TXT", "1", "a2");
  set.AddBundle("C", "More.gz", "More.bnd", "1",
                {{"data\\b.TXT", "b2"}, {"DATA\\new\\X.txt", "x"}, {"Data\\NEW\\x.TXT", "x2"}});
  set.AddO("c.txt", "data\\New\\C.txt", "1", "c");
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.Lines().back(), "files updated");
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(game_dir + "Data"))
    paths.push_back(entry.path().string().substr(game_dir.size()));
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (Lines{"Data/B.txt", "Data/a.txt", "Data/new", "Data/new/C.txt", "Data/new/X.txt"}));
  for (const char* variant : {"DATA", "data"}) EXPECT_FALSE(GameHas(variant)) << variant;
  EXPECT_EQ(Game("Data/a.txt"), "a2");
  EXPECT_EQ(Game("Data/B.txt"), "b2");
  EXPECT_EQ(Game("Data/new/X.txt"), "x2");
  EXPECT_EQ(Game("Data/new/C.txt"), "c");
}

TEST_P(CliUpdateTest, ChangedEntriesReplaceTheirRecordLinesInPlace) {
  WriteImportTool();
  root.Write("game/Keep.txt", "local keep");
  root.Write("game/update2.dat",
             "AVWSEN\r\nSystem\\Core.u 20240101\r\nkeep.TXT 20240101\r\nHelp\\Readme.txt 20240101\r\n"
             "Maps.bnd 20240101\r\nTrees.bnd 20240101\r\n");
  set.AddE("Core.u.gz", "System\\Core.u", "20240202", "core v2");
  set.AddO("Keep.txt", "Keep.txt", "20240101", "server keep");  // same version: left alone
  set.AddO("Readme.txt", "Help\\Readme.txt", "20240202", "readme v2");
  set.AddBundle("C", "Maps.gz", "Maps.bnd", "20240202", {{"Maps\\Town.map", "town v2"}});
  set.AddBundle("T", "Trees.gz", "Trees.bnd", "20240202", {{"Textures\\Oak.pcx", "oak v2"}}, "Trees");
  set.AddE("New.ini.gz", "New.ini", "20240202", "new");
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.Lines().at(1), "5files remain to be updated");
  EXPECT_EQ(r.Lines().back(), "files updated");
  EXPECT_EQ(Game("update2.dat"),
            "AVWSEN\r\nSystem\\Core.u 20240202\r\nkeep.TXT 20240101\r\nHelp\\Readme.txt 20240202\r\n"
            "Maps.bnd 20240202\r\nTrees.bnd 20240101\r\nNew.ini 20240202\r\n");
  EXPECT_EQ(Game("System/Core.u"), "core v2");
  EXPECT_EQ(Game("Keep.txt"), "local keep");
  EXPECT_EQ(Game("Help/Readme.txt"), "readme v2");
  EXPECT_EQ(Game("Maps/Town.map"), "town v2");
  EXPECT_EQ(Game("New.ini"), "new");
  SCOPED_TRACE("a changed package entry does nothing");
  EXPECT_FALSE(GameHas("Trees.gz"));
  EXPECT_FALSE(GameHas("Textures"));
  EXPECT_EQ(Game("import.log"), "<missing>");
}

// A package entry counts as installed once its import tool has been
// started, whatever the tool then does; a tool that cannot be started
// leaves the entry unrecorded, so the next run offers it again.
TEST_P(CliUpdateTest, PackageIsRecordedOnceItsToolStarted) {
  WriteImportTool();
  set.AddBundle("T", "Trees.gz", "Trees.bnd", "1", {{"Textures\\Oak.pcx", "oak"}}, "Trees");
  set.AddBundle("W", "Birds.gz", "Birds.bnd", "1", {{"sounds\\Chirp.wav", "chirp"}}, "BrokenBirds");
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  {
    SCOPED_TRACE("a tool that fails");
    const CliResult r = Run({"--server", "0", "--update"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(ImportCalls(2), (Lines{"pkg import sound ..\\sounds\\BrokenBirds ..\\Birds (failed)",
                                     "pkg import texture ..\\Textures\\Trees ..\\Trees"}));
    EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nTrees.bnd 1\r\nBirds.bnd 1\r\n");
  }
  {
    SCOPED_TRACE("a tool that cannot be started");
    ASSERT_EQ(chmod((game_dir + "System/PKG").c_str(), 0644), 0);
    set.AddBundle("A", "Walk.gz", "Walk.bnd", "1", {{"Animations\\Walk.psa", "walk"}}, "Walk");
    set.WriteList();
    const CliResult r = Run({"--update"});
    EXPECT_EQ(r.Lines().at(1), "1file remain to be updated") << r.out << r.err;
    EXPECT_EQ(Game("Animations/Walk.psa"), "walk") << "the members stay in place";
    EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nTrees.bnd 1\r\nBirds.bnd 1\r\n");
    EXPECT_EQ(ImportCalls(2).size(), 2u) << "no new call";
  }
}

TEST_P(CliUpdateTest, SizeMismatchIsNamedAndPassedOverWithoutRecord) {
  set.AddE("Bad.gz", "Bad.u", "1", "bad", +1);
  set.AddO("Short.txt", "Short.txt", "2", "short", +1);
  set.AddO("Good.txt", "Good.txt", "1", "good");
  set.WriteList();
  root.Write("game/Short.txt", "short v1");
  root.Write("game/update2.dat", "AVWSEN\r\n\r\nShort.txt 1\r\n");
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_EQ(r.Lines().back(), "files updated");
  EXPECT_NE(r.err.find("entry \"Short.txt\" passed over: the server sent 5 of the 6 bytes of \"Short.txt\" that its "
                       "list gives"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("entry \"Bad.u\" passed over: the server sent "), std::string::npos) << r.err;
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nShort.txt 1\r\nGood.txt 1\r\n");
  EXPECT_FALSE(GameHas("Bad.u"));
  EXPECT_EQ(Game("Short.txt"), "short v1") << "the installed file stays as it was";
  EXPECT_EQ(Game("Good.txt"), "good");
  // The mismatched downloads are removed, and nothing else is left behind.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(game_dir)) {
    // What reaching the server needs (WriteNetworkSettings).
    if (entry.path().filename() == "FtpConfig.ini" || entry.path().filename() == kGameCaFile) continue;
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Lines{"Good.txt", "Short.txt", "isp0.dat", "isp1.dat", "update.lck", "update2.dat", "update3.dat"}));
}

TEST_P(CliFtpUpdateTest, ThreeServersRefusingTheLogin) {
  set.WriteList();
  auto server = StartServer();
  const std::string refused = ServerLine("S", *server, FtpServer::kRefusedUser);
  WriteServers({refused, refused, refused});

  const CliResult r = Run({"--server", "2"}, "zh_TW.BIG5");
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  EXPECT_EQ(r.Lines(), (Lines{"連線中1...", "連線中2...", "連線中3...", "連線中斷", "連線中斷"}));
  {
    SCOPED_TRACE("standard error names each server tried and the server's refusal");
    const std::string prefix = "updater-cli: " + server->Name() + ": login refused (530";
    std::vector<std::string> err_lines;
    for (size_t start = 0, end; (end = r.err.find('\n', start)) != std::string::npos; start = end + 1)
      err_lines.push_back(r.err.substr(start, end - start));
    ASSERT_EQ(err_lines.size(), 3u) << r.err;
    for (const std::string& line : err_lines) EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
  }
  EXPECT_EQ(Game("isp1.dat"), "2\r\n");
  EXPECT_EQ(Game("update2.dat"), "<missing>");

  SCOPED_TRACE("--raw prints the stored Big5 bytes; English without a Chinese locale");
  const CliResult raw = Run({"--raw"}, "zh_TW.BIG5");
  EXPECT_EQ(raw.Lines().front(), "\xB3\x73\xBD\x75\xA4\xA4" "1...");
  const CliResult english = Run({});
  EXPECT_EQ(english.Lines(), (Lines{"connecting...", "connecting...", "connecting...", "Disconnected",
                                    "Disconnected"}));
}

TEST_P(CliFtpUpdateTest, ServerWithoutTheListFallsBackWithOneSpacePassword) {
  set.AddO("Fresh.txt", "Fresh.txt", "1", "fresh");
  set.WriteList();
  const std::string bare_dir = root.path() + "bare/";
  root.Write("bare/readme.txt", "no list here");
  auto bare = StartServer(bare_dir);
  // The server holding the list takes only the password of one space.
  auto holder = FtpServer::Start(FtpServerKind::kPyftpdlib, server_dir, "fallback", " ");
  WriteServers({ServerLine("Holder", *holder, "fallback"), ServerLine("Bare", *bare)});

  const CliResult r = Run({"--server", "1", "--update"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.Lines(), (Lines{"connecting...", "1file remain to be updated", "0files remain to be updated",
                              "files updated"}));
  EXPECT_EQ(Game("Fresh.txt"), "fresh");

  SCOPED_TRACE("the server without the list is the last one: no further attempt");
  WriteServers({ServerLine("Bare", *bare)});
  const CliResult alone = Run({"--server", "0"});
  EXPECT_EQ(alone.exit_code, 1) << alone.out;
  EXPECT_EQ(alone.Lines(), (Lines{"connecting...", "Disconnected", "Disconnected"}));
  EXPECT_EQ(alone.err, "updater-cli: " + bare->Name() + ": no update3.dat\n");
}

// The states of the progress line a terminal was shown: each text between
// a carriage return and the clearing of the line's rest.
Lines ProgressStates(const std::string& out) {
  Lines states;
  for (size_t start = out.find('\r'); start != std::string::npos; start = out.find('\r', start + 1)) {
    const size_t end = out.find("\x1b[K", start);
    if (end != std::string::npos && out.find('\r', start + 1) > end) states.push_back(out.substr(start + 1, end - start - 1));
  }
  return states;
}

// Columns a state takes (its only character beyond ASCII is the ellipsis).
size_t Columns(const std::string& state) {
  size_t columns = state.size();
  for (size_t at = state.find("\u2026"); at != std::string::npos; at = state.find("\u2026", at + 1)) columns -= 2;
  return columns;
}

TEST_P(CliUpdateTest, ByteProgressOnlyOnATerminalOfKnownWidth) {
  set.AddO("Big.bin", "Big.bin", "1", std::string(400000, 'b'));
  const std::string long_name = "Data\\Very\\Long\\Folder\\Names\\Of\\The\\Game\\Long.bin";
  set.AddO("Long.bin", long_name, "1", std::string(400000, 'l'));
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult piped = Run({"--server", "0", "--update"});
  EXPECT_EQ(piped.exit_code, 0);
  EXPECT_EQ(piped.out.find(" of "), std::string::npos) << piped.out;

  std::filesystem::remove(game_dir + "update2.dat");
  const CliResult tty = RunUpdaterCliOnTerminal({"--dir", game_dir, "--update"});
  EXPECT_EQ(tty.exit_code, 0) << tty.out;
  // Rewritten in place: a carriage return before each state, the rest of the line cleared.
  EXPECT_NE(tty.out.find("\rBig.bin 400000 of "), std::string::npos) << tty.out;
  EXPECT_NE(tty.out.find("\r" + long_name + " 400000 of "), std::string::npos) << "80 columns hold it whole";
  // The next status text starts on a line of its own.
  EXPECT_NE(tty.out.find("\x1b[K\r\n1file remain to be updated"), std::string::npos) << tty.out;

  for (const auto& [columns, variable] : std::vector<std::pair<int, std::string>>{{50, ""}, {0, "50"}}) {
    SCOPED_TRACE(columns > 0 ? "a 50-column terminal" : "a terminal without a width, COLUMNS=50");
    std::filesystem::remove(game_dir + "update2.dat");
    const CliResult narrow = RunUpdaterCliOnTerminal({"--dir", game_dir, "--update"}, columns, variable);
    EXPECT_EQ(narrow.exit_code, 0) << narrow.out;
    const Lines states = ProgressStates(narrow.out);
    ASSERT_FALSE(states.empty()) << narrow.out;
    for (const std::string& state : states) EXPECT_LE(Columns(state), 49u) << state;
    EXPECT_TRUE(std::any_of(states.begin(), states.end(), [](const std::string& state) {
      return state.rfind("Data\\", 0) == 0 && state.find("\u2026") != std::string::npos &&
             state.find(".bin 400000 of ") != std::string::npos;
    })) << "the long name is shortened in its middle";
  }

  SCOPED_TRACE("a terminal of unknown width gets no progress line");
  std::filesystem::remove(game_dir + "update2.dat");
  const CliResult unknown = RunUpdaterCliOnTerminal({"--dir", game_dir, "--update"}, 0);
  EXPECT_EQ(unknown.exit_code, 0) << unknown.out;
  EXPECT_NE(unknown.out.find("files updated"), std::string::npos) << unknown.out;
  EXPECT_EQ(unknown.out.find(" of "), std::string::npos) << unknown.out;
  EXPECT_EQ(unknown.out.find("\x1b[K"), std::string::npos) << unknown.out;
}

// Every file and the record come out the same whether the helpers fetch
// ahead or not.
TEST_P(CliUpdateTest, FetchingAheadInstallsTheSameFilesAndRecord) {
  ServeFortyOneEntries();
  auto server = StartServer();
  const std::string reference = TreeAfterFreshRun(*server, 1);
  EXPECT_EQ(TreeAfterFreshRun(*server, 4), reference);
  EXPECT_NE(reference.find("Maps/F39.txt = text 39"), std::string::npos) << reference;
  EXPECT_NE(reference.find("update2.dat = AVWSEN\r\n\r\nMaps\\F0.u 7\r\nSystem\\F1.txt 7"), std::string::npos)
      << reference;
}

// The same when the server turns helpers away ("421").
TEST_P(CliFtpUpdateTest, FetchingAheadFromAServerThatTurnsHelpersAwayInstallsTheSameFiles) {
  ServeFortyOneEntries();
  auto limited = StartFtpServer(server_dir, 2);
  auto server = StartServer();
  EXPECT_EQ(TreeAfterFreshRun(*limited, 4), TreeAfterFreshRun(*server, 1));
}

// --max-rate caps the run (2 MiB at 1 MiB/s take well over the half second
// the rate needs to show) without changing what is installed; the
// progress line adds the rate and the time left.
TEST_P(CliUpdateTest, CappedRunInstallsTheSameBytesAndShowsRateAndTimeLeft) {
  std::string content(2 << 20, '\0');
  uint32_t state = 12345;
  for (char& c : content) c = static_cast<char>((state = state * 1103515245 + 12345) >> 24);
  set.AddO("Big.bin", "Data\\Big.bin", "1", content);
  set.AddO("Small.txt", "Small.txt", "1", "small");
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult tty = RunUpdaterCliOnTerminal({"--dir", game_dir, "--server", "0", "--update", "--max-rate", "1024"});
  EXPECT_EQ(tty.exit_code, 0) << tty.out;
  EXPECT_TRUE(Game("Data/Big.bin") == content) << "the capped download is byte-identical";
  EXPECT_EQ(Game("Small.txt"), "small");
  // The cap is 1 MiB/s, so the rate shown lies on either side of the unit's step.
  EXPECT_TRUE(std::regex_search(tty.out, std::regex(R"( [0-9]+\.[0-9] (KiB|MiB)/s  )"))) << tty.out.substr(0, 2000);
  EXPECT_NE(tty.out.find(" left\x1b[K"), std::string::npos) << tty.out.substr(0, 2000);
  EXPECT_NE(tty.out.find("files updated"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(RealServers, CliUpdateTest,
                         ::testing::ValuesIn(EveryServerSetting()), SettingName);
INSTANTIATE_TEST_SUITE_P(RealServers, CliFtpUpdateTest,
                         ::testing::ValuesIn(FtpServerSettings()), SettingName);

}  // namespace
}  // namespace test_support
