// updater-cli against real servers, FTP and HTTP(S): the forced update, the in-use stop,
// failures, partial downloads a killed run left, arguments, and server data
// that tries to leave the game folder.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "cli_e2e_fixture.h"
#include "support/wait_until.h"
#include "update/install_journal.h"

namespace test_support {
namespace {

using Lines = std::vector<std::string>;

class CliRecoveryTest : public CliE2eTest {
 protected:
  bool Printed(const CliResult& r, const std::string& line) const {
    const Lines lines = r.Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

TEST_P(CliRecoveryTest, ForcedUpdateRebuildsTheRecord) {
  WriteImportTool();
  set.AddE("Core.u.gz", "System\\Core.u", "2", "core");
  set.AddO("Help.txt", "Help.txt", "3", "help");
  set.AddBundle("T", "Trees.gz", "Trees.bnd", "4", {{"Textures\\Oak.pcx", "oak"}}, "Trees");
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  ASSERT_EQ(Run({"--server", "0", "--update"}).exit_code, 0);
  ImportCalls(1);

  // A stale record line and a lost file: the forced update sets both right.
  root.Write("game/update2.dat", "AVWSEN\r\n\r\nSystem\\Core.u 2\r\nOld\\Gone.txt 1\r\nHelp.txt 3\r\nTrees.bnd 4\r\n");
  std::filesystem::remove(game_dir + "System/Core.u");
  {
    SCOPED_TRACE("the question answered No by default changes nothing");
    // Nothing to update, so the check itself does not mention Core.u.
    const CliResult no = Run({"--yes"});
    EXPECT_EQ(no.exit_code, 0);
    EXPECT_FALSE(GameHas("System/Core.u"));
  }
  const std::string question =
      "After pushing \"Compulsive update\" button, it will update all downloads completely "
      "and will take longer time. Are you sure you want to do it?";
  {
    SCOPED_TRACE("--forced without --yes: the question answered No reinstalls nothing");
    const CliResult no = Run({"--forced"});
    EXPECT_EQ(no.exit_code, 0) << no.out << no.err;
    EXPECT_TRUE(Printed(no, question)) << no.out;
    EXPECT_NE(no.err.find("--yes"), std::string::npos) << no.err;
    EXPECT_FALSE(GameHas("System/Core.u"));
    EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nSystem\\Core.u 2\r\nOld\\Gone.txt 1\r\nHelp.txt 3\r\nTrees.bnd 4\r\n");
  }
  const CliResult r = Run({"--forced", "--yes"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Printed(r, question)) << r.out;
  EXPECT_EQ(r.Lines().back(), "files updated");
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nSystem\\Core.u 2\r\nHelp.txt 3\r\nTrees.bnd 4\r\n");
  EXPECT_EQ(Game("System/Core.u"), "core");
  EXPECT_EQ(ImportCalls(2).size(), 2u) << "the package is imported again";
}

TEST_P(CliRecoveryTest, FileThatCannotBeWrittenStopsTheUpdater) {
  set.AddE("First.gz", "First.u", "1", "first");
  set.AddE("Blocked.gz", "Blocked\\File.u", "1", "blocked");
  set.AddE("Later.gz", "Later.u", "1", "later");
  // Fetched ahead (the default connections) while the run reaches the stop.
  for (int i = 0; i < 8; ++i)
    set.AddO("Ahead" + std::to_string(i) + ".bin", "Ahead" + std::to_string(i) + ".bin", "1",
             std::string(i % 2 == 0 ? 3000000 : 10, 'a'));
  set.WriteList();
  std::filesystem::create_directories(game_dir + "Blocked/File.u");  // a folder where the file goes
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  const auto temporaries = [this] {
    std::string found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(game_dir)) {
      const std::string name = entry.path().filename();
      if (name.find(".ahead") != std::string::npos || name.find("tmp") != std::string::npos) found += name + " ";
    }
    return found;
  };

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 4) << "the updater stopped the run itself" << r.out << r.err;
  EXPECT_TRUE(Printed(r, "Can't create: " + game_dir + "Blocked/File.u")) << r.out;
  EXPECT_EQ(r.Lines().back(), "The file is useing");
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nFirst.u 1\r\n") << "saved up to the entry in use";
  EXPECT_EQ(Game("First.u"), "first");
  EXPECT_FALSE(GameHas("Later.u"));
  EXPECT_FALSE(GameHas("Later.gz"));
  EXPECT_FALSE(GameHas("Ahead0.bin"));
  EXPECT_EQ(temporaries(), "") << "what was fetched ahead went with the stop";

  SCOPED_TRACE("once the file can be written, the next run installs the rest");
  std::filesystem::remove_all(game_dir + "Blocked");
  const CliResult next = Run({"--update"});
  EXPECT_EQ(next.exit_code, 0) << next.out << next.err;
  EXPECT_EQ(Game("Ahead6.bin"), std::string(3000000, 'a'));
  EXPECT_EQ(Game("Later.u"), "later");
  EXPECT_EQ(temporaries(), "");
}

TEST_P(CliRecoveryTest, FailedDownloadShowsTheErrorAndKeepsWhatWasInstalled) {
  set.AddO("Here.txt", "Here.txt", "1", "here");
  set.AddLine("O Missing.txt Missing.txt 1 10");
  set.AddO("After.txt", "After.txt", "1", "after");
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_EQ(r.Lines().at(2), "2files remain to be updated");
  EXPECT_EQ(r.Lines().back().rfind(server->MissingFileReply(), 0), 0u) << "the server's refusal is shown: " << r.out;
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nHere.txt 1\r\n");
  EXPECT_FALSE(GameHas("After.txt"));
}

TEST_P(CliRecoveryTest, PartialDownloadsOfAKilledRunAreContinuedOrRemoved) {
  const std::string core = NoisyBytes(300000, 1), help = NoisyBytes(200000, 2), map = NoisyBytes(100000, 3);
  set.AddE("Core.gz", "System\\Core.u", "2", core);
  set.AddO("Help.txt", "Help\\Help.txt", "3", help);
  set.AddO("Map.txt", "Map.txt", "5", map);
  set.WriteList("UPDATE", UpdateSet::Digests::kListed);
  const std::string served_core = Gzip(core);
  const auto size = [](const std::string& bytes) { return static_cast<int64_t>(bytes.size()); };
  // What a killed run left, each partial noted with what it is a download of.
  auto leave = [&](const std::string& name, const DownloadOrigin& origin, const std::string& bytes) {
    NoteDownloadOf(game_dir, game_dir + name, origin);
    root.Write("game/" + name, bytes);
  };
  leave("Core.gz.dltmp", {"Core.gz", size(served_core), "2", Sha256Of(served_core)}, served_core.substr(0, 100000));
  // Other bytes than the server's: only continuing them gives a file that
  // differs from its digest.
  leave("Help/Help.txt.updtmp", {"Help.txt", size(help), "3", Sha256Of(help)}, std::string(50000, 'm'));
  // Of the version before: removed, the new one fetched whole.
  leave("Map.txt.updtmp", {"Map.txt", size(map), "4", Sha256Of(map)}, std::string(50000, 'm'));
  leave("Gone.gz.dltmp", {"Gone.gz", 100, "1", ""}, "of an entry the list no longer has");
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_NE(r.err.find("entry \"Help\\Help.txt\" passed over: the SHA-256 of \"Help.txt\" as received differs"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(Game("System/Core.u") == core) << "continued and installed byte for byte";
  EXPECT_TRUE(Game("Map.txt") == map);
  EXPECT_FALSE(GameHas("Help/Help.txt"));
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nSystem\\Core.u 2\r\nMap.txt 5\r\n");
  for (const char* left : {"Core.gz.dltmp", "Help/Help.txt.updtmp", "Map.txt.updtmp", "Gone.gz.dltmp", "updtmp.dat"})
    EXPECT_FALSE(GameHas(left)) << left;

  SCOPED_TRACE("the next run fetches the passed-over file whole");
  const CliResult again = Run({"--update"});
  EXPECT_EQ(again.exit_code, 0) << again.out << again.err;
  EXPECT_TRUE(Game("Help/Help.txt") == help);

  SCOPED_TRACE("a check that finds nothing to update removes what a killed run left");
  leave("Gone.gz.dltmp", {"Gone.gz", 100, "1", ""}, "of an entry the list no longer has");
  const CliResult check = Run({});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  EXPECT_EQ(check.Lines().back(), "No files updateing needed") << check.out;
  EXPECT_FALSE(GameHas("Gone.gz.dltmp"));
  EXPECT_FALSE(GameHas("updtmp.dat"));
}

// A signal in the middle of a run stops it between entries (or cancels
// the download in flight, which stays to be continued), saves the record
// and ends with 128 + the signal's number; the next run fetches only what
// the record lacks.
TEST_P(CliRecoveryTest, SignalledRunSavesTheRecordAndTheNextRunFetchesOnlyTheRest) {
  constexpr int kFiles = 16;
  std::map<std::string, std::string> contents;  // local name -> content
  for (int i = 0; i < kFiles; ++i) {
    const std::string n = std::to_string(i);
    contents["Data\\F" + n + ".bin"] = NoisyBytes(64000, 10 + i);
    set.AddO("F" + n + ".bin", "Data\\F" + n + ".bin", "1", contents["Data\\F" + n + ".bin"]);
  }
  set.WriteList();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  // The record's lines after the header, each an installed file at version 1.
  auto recorded = [&] {
    std::set<std::string> names;
    const std::string record = Game("update2.dat");
    EXPECT_EQ(record.rfind("AVWSEN\r\n\r\n", 0), 0u) << record;
    std::istringstream lines(record.size() > 10 ? record.substr(10) : "");
    for (std::string line; std::getline(lines, line);) {
      EXPECT_EQ(line.substr(line.size() - 3), " 1\r") << line;
      names.insert(line.substr(0, line.size() - 3));
    }
    return names;
  };

  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}}) {
    SCOPED_TRACE(strsignal(signal));
    std::filesystem::remove_all(game_dir + "Data");
    std::filesystem::remove(game_dir + "update2.dat");
    // 1 MB at 256 KiB/s: the signal comes once a third of the files is in.
    // One connection, so the files arrive in their order: fetched ahead,
    // they would share the cap and all come in at the end together.
    const CliResult r = Run({"--server", "0", "--update", "--max-rate", "256", "--connections", "1"}, "C",
                            Interruption{signal, [&] { return GameHas("Data/F5.bin"); }});
    ASSERT_TRUE(r.interrupted) << r.out << r.err;
    EXPECT_EQ(r.exit_code, status) << "signal " << r.signal << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(std::string("updater-cli: stopped by ") + (signal == SIGINT   ? "SIGINT"
                                                                     : signal == SIGTERM ? "SIGTERM"
                                                                                         : "SIGHUP") +
                         "; the run was stopped and the record saved"),
              std::string::npos)
        << r.err;
    // The record names exactly the files installed, each whole.
    std::set<std::string> installed;
    for (const auto& [name, content] : contents) {
      std::string real = name;
      std::replace(real.begin(), real.end(), '\\', '/');
      if (!GameHas(real)) continue;
      EXPECT_TRUE(Game(real) == content) << real;
      installed.insert(name);
    }
    EXPECT_EQ(recorded(), installed);
    EXPECT_GE(installed.size(), 6u);
    EXPECT_LT(installed.size(), static_cast<size_t>(kFiles));
    if (signal != SIGINT) continue;

    SCOPED_TRACE("the next run");
    const size_t asked_before = server->Downloads().size();
    const CliResult again = Run({"--update"});
    EXPECT_EQ(again.exit_code, 0) << again.out << again.err;
    for (const auto& [name, content] : contents) {
      std::string real = name;
      std::replace(real.begin(), real.end(), '\\', '/');
      EXPECT_TRUE(Game(real) == content) << real;
    }
    // The server notes a transfer a moment after its reply: its log is
    // read once it names every file the record lacked.
    std::set<std::string> fetched;
    const auto all_noted = [&] {
      const std::vector<std::string> asked = server->Downloads();
      fetched = std::set<std::string>(asked.begin() + static_cast<long>(std::min(asked_before, asked.size())), asked.end());
      for (const auto& [name, content] : contents)
        if (installed.count(name) == 0 && fetched.count(name.substr(5)) == 0) return false;
      return true;
    };
    EXPECT_TRUE(WaitUntil(all_noted, "the server's log to name every file the record lacked"));
    for (const std::string& name : installed) EXPECT_EQ(fetched.count(name.substr(5)), 0u) << name << " fetched again";
  }
}

TEST_P(CliRecoveryTest, ArgumentsAndMissingList) {
  EXPECT_EQ(RunUpdaterCli({"--bogus"}).exit_code, 2);
  EXPECT_EQ(RunUpdaterCli({"--server", "x"}).exit_code, 2);
  const CliResult rate = RunUpdaterCli({"--max-rate", "-1"});
  EXPECT_EQ(rate.exit_code, 2);
  EXPECT_NE(rate.err.find("--max-rate needs a rate in KiB/s"), std::string::npos) << rate.err;
  EXPECT_EQ(RunUpdaterCli({"--dir", root.path() + "nowhere"}).exit_code, 2);
  const CliResult help = RunUpdaterCli({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--start-game"), std::string::npos);
  EXPECT_NE(help.out.find("--max-rate KIB"), std::string::npos);

  set.PutFile("other.txt", "no list");
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  const CliResult beyond = Run({"--server", "2"});
  EXPECT_EQ(beyond.exit_code, 2) << beyond.err;
  EXPECT_NE(beyond.err.find("--server 2"), std::string::npos) << beyond.err;

  SCOPED_TRACE("a server without update3.dat and nothing to fall back to");
  const CliResult r = Run({"--server", "1"});  // "Other"
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  EXPECT_EQ(r.Lines(), (Lines{"connecting...", "Disconnected", "Disconnected"}));
  EXPECT_EQ(Game("isp1.dat"), "1\r\n");
}

TEST_P(CliRecoveryTest, DamagedDownloadIsNeverRecordedAndTheInstalledFileStaysWhole) {
  root.Write("game/System/Core.u", "core v1");
  root.Write("game/update2.dat", "AVWSEN\r\n\r\nSystem\\Core.u 1\r\n");
  set.AddE("Core.gz", "System\\Core.u", "2", "core v2");
  set.AddE("New.gz", "New.u", "1", "new");
  set.AddO("Good.txt", "Good.txt", "1", "good");
  set.WriteList();
  set.DamageServed("Core.gz");
  set.DamageServed("New.gz");
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  const Lines lines = r.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "gzclose Error."), 2) << r.out;
  EXPECT_EQ(lines.back(), "files updated") << "damaged data passes the entry over; the run goes on";
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nSystem\\Core.u 1\r\nGood.txt 1\r\n");
  EXPECT_EQ(Game("System/Core.u"), "core v1");
  EXPECT_FALSE(GameHas("New.u"));
  for (const char* left : {"Core.gz", "Core.gz.dltmp", "New.gz.dltmp", "System/Core.u.updtmp", "New.u.updtmp",
                           "updtmp.dat"})
    EXPECT_FALSE(GameHas(left)) << left;

  SCOPED_TRACE("the next run offers both entries again");
  set.PutFile("Core.gz", Gzip("core v2"));
  set.PutFile("New.gz", Gzip("new"));
  const CliResult again = Run({"--update"});
  EXPECT_EQ(again.exit_code, 0) << again.out << again.err;
  EXPECT_EQ(again.Lines().at(1), "2files remain to be updated");
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nSystem\\Core.u 2\r\nGood.txt 1\r\nNew.u 1\r\n");
  EXPECT_EQ(Game("System/Core.u"), "core v2");
  EXPECT_EQ(Game("New.u"), "new");
}

TEST_P(CliRecoveryTest, PackageThatCannotBeInstalledStopsTheRun) {
  WriteImportTool();
  set.AddO("First.txt", "First.txt", "1", "first");
  set.AddBundle("T", "Trees.gz", "Trees.bnd", "1", {{"Textures\\Oak.pcx", "oak"}}, "Trees");
  set.AddO("After.txt", "After.txt", "1", "after");
  set.WriteList();
  const std::string bundle = root.Read("server/Trees.gz");
  set.DamageServed("Trees.gz");
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_TRUE(Printed(r, "gzclose Error.")) << r.out;
  EXPECT_EQ(r.Lines().back(), "Cannot install Trees.bnd: its download could not be unpacked") << r.out;
  EXPECT_FALSE(Printed(r, "files updated"));
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nFirst.txt 1\r\n");
  EXPECT_FALSE(GameHas("After.txt")) << "the run stopped at the package";
  EXPECT_FALSE(GameHas("Textures/Oak.pcx"));
  EXPECT_EQ(Game("import.log"), "<missing>");

  SCOPED_TRACE("the next run installs the package");
  set.PutFile("Trees.gz", bundle);
  const CliResult again = Run({"--update"});
  EXPECT_EQ(again.exit_code, 0) << again.out << again.err;
  EXPECT_EQ(Game("Textures/Oak.pcx"), "oak");
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nFirst.txt 1\r\nTrees.bnd 1\r\nAfter.txt 1\r\n");
  EXPECT_EQ(ImportCalls(1), Lines{"pkg import texture ..\\Textures\\Trees ..\\Trees"});
}

TEST_P(CliRecoveryTest, HostileNamesNeverLeaveTheGameFolder) {
  WriteImportTool();
  // Names unique to this test, so a stray write outside is recognisable.
  const std::string tag = std::filesystem::path(root.path()).parent_path().filename().string();
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  struct Release {
    std::function<void(UpdateSet&)> fill;
    int exit_code;
    std::string last_line;
  };
  // Each bundle with a member that may not be written stops its run, so
  // each comes last in a release of its own.
  const std::vector<Release> releases = {
      {[&](UpdateSet& set) {
         set.AddE("Esc.gz", "..\\" + tag + "_escaped.txt", "1", "escaped");
         set.AddO("Ok.txt", "C:\\" + tag + "_drive.txt", "1", "drive");
         set.AddLine("E ..\\" + tag + "_up.gz Up.txt 1 10");
         set.AddO("Abs.txt", "\\" + tag + "_abs.txt", "1", "abs");
         set.AddO("Good.txt", "Good.txt", "1", "good");
         set.AddBundle("T", "Hostile.gz", "Hostile.bnd", "1",
                       {{"..\\..\\" + tag + "_climb.txt", "climb"}, {"Fine\\Inside.txt", "inside"},
                        {"/" + tag + "_root.txt", "root"}},
                       "Hostile");
       },
       3, "Cannot install Hostile.bnd: bundle member 1 \"..\\..\\" + tag + "_climb.txt\" skipped: its name leaves the game folder"},
      {[&](UpdateSet& set) {
         set.AddRawBundle("S", "Ranges.gz", "Ranges.bnd", "1",
                          BuildRawBundle("0123456789", 3, {{5, 3, "Backwards.txt"}, {0, 1 << 30, "Huge.txt"},
                                                           {2, 4, "Mid.txt"}}),
                          "Ranges");
       },
       3, ""},
      {[&](UpdateSet& set) {
         set.AddBundle("C", "Last.gz", "Last.bnd", "1", {{"..\\" + tag + "_last.txt", "last"}, {"LastIn.txt", "in"}});
       },
       4, "The file is useing"},
  };
  std::string err;
  for (const Release& release : releases) {
    UpdateSet served(server_dir);
    release.fill(served);
    served.WriteList();
    const CliResult r = Run({"--server", "0", "--update"});
    EXPECT_EQ(r.exit_code, release.exit_code) << r.out << r.err;
    if (!release.last_line.empty()) {
      EXPECT_EQ(r.Lines().back(), release.last_line) << r.out;
    }
    err += r.err;
  }
  for (const std::string& name : {"..\\" + tag + "_escaped.txt", "C:\\" + tag + "_drive.txt", "..\\" + tag + "_up.gz",
                                  "\\" + tag + "_abs.txt", "..\\..\\" + tag + "_climb.txt", "/" + tag + "_root.txt",
                                  std::string("Backwards.txt"), std::string("Huge.txt"), "..\\" + tag + "_last.txt"})
    EXPECT_NE(err.find(name), std::string::npos) << name << " is not named in: " << err;

  // Nothing outside the game folder: not beside it, not above the test's folder.
  for (const std::filesystem::path& dir : {std::filesystem::path(root.path()),
                                           std::filesystem::path(root.path()).parent_path().parent_path()}) {
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      EXPECT_EQ(entry.path().filename().string().find(tag + "_"), std::string::npos) << entry.path();
  }
  EXPECT_FALSE(std::filesystem::exists("/" + tag + "_root.txt"));
  EXPECT_FALSE(std::filesystem::exists("/" + tag + "_abs.txt"));
  EXPECT_EQ(Game("Fine/Inside.txt"), "inside");
  EXPECT_EQ(Game("Mid.txt"), "23");
  EXPECT_EQ(Game("Good.txt"), "good");
  EXPECT_EQ(Game("LastIn.txt"), "in");
  // The refused entries and the packages that could not be taken apart are
  // not recorded; the bundle with a refused member ends in the in-use stop.
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nGood.txt 1\r\n");
  EXPECT_EQ(Game("import.log"), "<missing>");
}

INSTANTIATE_TEST_SUITE_P(RealServers, CliRecoveryTest,
                         ::testing::ValuesIn(EveryServerSetting()), SettingName);

}  // namespace
}  // namespace test_support
