// updater-cli in a game folder that ships "update.pub", against real
// servers (FTP and HTTP(S)), with keys and signatures made by the minisign
// tool: which sets are taken, which are refused and why, that a refused
// set installs nothing, that every download is held to its digest, and
// --verify.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>

#include "cli_e2e_fixture.h"
#include "filecheck/datec_builder.h"
#include "support/shell_tool.h"

namespace test_support {
namespace {

using Lines = std::vector<std::string>;

constexpr char kRecord[] = "AVWSEN\r\n\r\n";

class CliSignedSetTest : public CliE2eTest {
 protected:
  CliSignedSetTest() : now(std::time(nullptr)) {
    MakeKey("publisher");
    MakeKey("stranger");
  }

  std::string KeyPath(const std::string& name) const { return root.path() + "keys/" + name; }

  // A key pair without a password: keys/<name>.pub and keys/<name>.key.
  void MakeKey(const std::string& name) const {
    std::filesystem::create_directories(root.path() + "keys");
    const ToolRun made = RunTool("minisign -G -W -p " + ShellQuoted(KeyPath(name + ".pub")) + " -s " +
                                 ShellQuoted(KeyPath(name + ".key")) + " </dev/null");
    ASSERT_EQ(made.status, 0) << made.output;
  }

  // Signs the served file `remote` into `signature` (default: beside it)
  // with keys/<key>.key. trusted: the trusted comment; "" = minisign's own.
  void Sign(const std::string& remote, const std::string& key, const std::string& trusted,
            const std::string& signature = "") const {
    std::string command = "minisign -S -s " + ShellQuoted(KeyPath(key + ".key")) + " -m " +
                          ShellQuoted(server_dir + remote) + " -x " +
                          ShellQuoted(server_dir + (signature.empty() ? remote + ".minisig" : signature));
    if (!trusted.empty()) command += " -t " + ShellQuoted(trusted);
    const ToolRun run = RunTool(command + " </dev/null");
    ASSERT_EQ(run.status, 0) << run.output;
  }
  // A trusted comment as mkupdate writes it.
  static std::string Times(int64_t timestamp, int64_t expires, const std::string& file = "update3.dat") {
    return "timestamp:" + std::to_string(timestamp) + "\tfile:" + file + "\texpires:" + std::to_string(expires);
  }
  // keys/<name>.pub as the game's key, under the file name `as`.
  void InstallKey(const std::string& name, const std::string& as = "update.pub") const {
    root.Write("game/" + as, root.Read("keys/" + name + ".pub"));
  }

  // A one-file set with digests, signed by the publisher.
  void ServeSignedSet(const std::string& version, int64_t timestamp) {
    set = UpdateSet(server_dir);
    set.AddO("News.txt", "News.txt", version, "news " + version);
    set.WriteList("UPDATE", UpdateSet::Digests::kListed);
    Sign("update3.dat", "publisher", Times(timestamp, now + 3600));
  }

  const int64_t now;
};

// One way a server's set goes wrong, and what the player sees.
struct Refusal {
  const char* name;
  std::function<void()> spoil;        // after the good set was written and signed
  const char* says;                              // part of the message
};

TEST_P(CliSignedSetTest, GoodSetIsInstalledAndEveryFlawedOneRefused) {
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  InstallKey("publisher", "Update.pub");

  const std::vector<Refusal> refusals = {
      {"the list edited after signing",
       [this] { set.PutFile("update3.dat", root.Read("server/update3.dat") + "O x x 1 1\r\n"); },
       "the signature does not match update.pub"},
      {"a signature by another key",
       [this] { Sign("update3.dat", "stranger", Times(now, now + 3600)); }, "key id differs"},
      {"a missing signature",
       [this] { std::filesystem::remove(server_dir + "update3.dat.minisig"); },
       "there is no signature (update3.dat.minisig is missing)"},
      {"the signature of another set",
       [this] {
         set.PutFile("other.dat", "UPDATE\r\nO Other.txt Other.txt 1 5\r\n");
         Sign("other.dat", "publisher", Times(now, now + 3600), "update3.dat.minisig");
       },
       "the signature does not match update.pub"},
      {"the bulletin and its signature, made at the same time, served as the list",
       [this] {
         set.PutFile("bulletin.htm", "<p>news</p>");
         Sign("bulletin.htm", "publisher", Times(now - 60, now + 3600, "bulletin.htm"));
         set.PutFile("update3.dat", root.Read("server/bulletin.htm"));
         set.PutFile("update3.dat.minisig", root.Read("server/bulletin.htm.minisig"));
       },
       "the signature was made for \"bulletin.htm\", not for update3.dat"},
      {"a trusted comment that names no file",
       [this] { Sign("update3.dat", "publisher", "timestamp:" + std::to_string(now - 60)); },
       "the trusted comment names no file"},
      {"an expired set",
       [this] { Sign("update3.dat", "publisher", Times(now - 7200, now - 60)); },
       "the signature expired on "},
      {"a damaged signature file",
       [this] { set.PutFile("update3.dat.minisig", "untrusted comment: x\nAAAA\n"); },
       "not a minisign signature"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    root.Write("game/update2.dat", kRecord);
    ServeSignedSet("1", now - 60);
    refusal.spoil();
    const CliResult r = Run({"--server", "0", "--update"});
    EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("update3.dat from " + server->Name() + ": "), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(refusal.says), std::string::npos) << r.out;
    EXPECT_FALSE(GameHas("News.txt"));
    EXPECT_FALSE(GameHas("update3.dat")) << "a refused list is not kept";
    EXPECT_FALSE(GameHas("update2.sig.ts"));
    EXPECT_EQ(Game("update2.dat"), kRecord);
  }

  SCOPED_TRACE("the good set, with a signed bulletin");
  ServeSignedSet("1", now - 60);
  set.PutFile("bulletin.htm", "<p>one</p>");
  Sign("bulletin.htm", "publisher", "");
  const CliResult good = Run({"--server", "0", "--update"});
  EXPECT_EQ(good.exit_code, 0) << good.out << good.err;
  EXPECT_EQ(good.err, "");
  EXPECT_EQ(Game("News.txt"), "news 1");
  EXPECT_EQ(Game("update2.dat"), std::string(kRecord) + "News.txt 1\r\n");
  EXPECT_EQ(Game("update2.sig.ts"), std::to_string(now - 60) + "\n");
  EXPECT_EQ(Game("bulletin.htm"), "<p>one</p>");
  EXPECT_EQ(Game("bulletin.htm.minisig"), root.Read("server/bulletin.htm.minisig"));

  SCOPED_TRACE("minisign's own trusted comment (no expiry) verifies too; a bulletin changed after signing is not");
  set = UpdateSet(server_dir);
  set.AddO("News.txt", "News.txt", "2", "news 2");
  set.WriteList("UPDATE", UpdateSet::Digests::kListed);
  Sign("update3.dat", "publisher", "");
  set.PutFile("bulletin.htm", "<p>two</p>");
  const CliResult plain = Run({"--update"});
  EXPECT_EQ(plain.exit_code, 0) << plain.out << plain.err;
  EXPECT_EQ(Game("News.txt"), "news 2");
  EXPECT_EQ(Game("bulletin.htm"), "<p>one</p>") << "the bulletin shown stays";
  EXPECT_NE(plain.err.find("bulletin.htm not shown: the signature does not match update.pub"), std::string::npos)
      << plain.err;
  EXPECT_FALSE(GameHas("bulletin.htm.updtmp"));
}

TEST_P(CliSignedSetTest, OlderSetReplayedAfterANewerOneIsARollback) {
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  InstallKey("publisher");
  root.Write("game/update2.dat", kRecord);
  ServeSignedSet("1", now - 7200);
  const std::string old_list = root.Read("server/update3.dat");
  const std::string old_signature = root.Read("server/update3.dat.minisig");
  ServeSignedSet("2", now - 60);
  const CliResult newer = Run({"--server", "0", "--update"});
  ASSERT_EQ(newer.exit_code, 0) << newer.out << newer.err;
  ASSERT_EQ(Game("News.txt"), "news 2");

  set.PutFile("update3.dat", old_list);
  set.PutFile("update3.dat.minisig", old_signature);
  set.PutFile("News.txt", "news 1");
  const CliResult replayed = Run({"--update"});
  EXPECT_EQ(replayed.exit_code, 3) << replayed.out << replayed.err;
  EXPECT_NE(replayed.out.find("is older than the set already installed"), std::string::npos) << replayed.out;
  EXPECT_NE(replayed.out.find("a rollback"), std::string::npos) << replayed.out;
  EXPECT_EQ(Game("News.txt"), "news 2");
  EXPECT_EQ(Game("update2.dat"), std::string(kRecord) + "News.txt 2\r\n");
  EXPECT_EQ(Game("update2.sig.ts"), std::to_string(now - 60) + "\n");
}

TEST_P(CliSignedSetTest, BadMirrorFirstGoodOneSecond) {
  const std::string bad_dir = root.path() + "bad/";
  ServeSignedSet("1", now - 60);
  std::filesystem::copy(server_dir, bad_dir);
  // The mirror serves its own list with the publisher's signature.
  root.Write("bad/update3.dat", root.Read("server/update3.dat") + "O Evil.exe Evil.exe 1 4\r\n");
  root.Write("bad/Evil.exe", "evil");
  auto bad = StartServer(bad_dir);
  auto good = StartServer();
  WriteServers({ServerLine("Good", *good), ServerLine("Bad", *bad)});
  InstallKey("publisher");

  const CliResult r = Run({"--server", "1", "--update"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(Game("News.txt"), "news 1");
  EXPECT_FALSE(GameHas("Evil.exe"));
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nNews.txt 1\r\n");

  SCOPED_TRACE("two bad mirrors: the message names both");
  WriteServers({ServerLine("Bad", *bad), ServerLine("Bad", *bad)});
  const CliResult both = Run({"--server", "1", "--update"});
  EXPECT_EQ(both.exit_code, 3) << both.out << both.err;
  const std::string named = "update3.dat from " + bad->Name() + ": the signature";
  const size_t first = both.out.find(named);
  ASSERT_NE(first, std::string::npos) << both.out;
  EXPECT_NE(both.out.find(named, first + 1), std::string::npos) << both.out;
}

// The mirror serves a file of the listed size but other bytes: the digest
// catches it, signed set or not; a signed line without a digest is passed
// over too.
TEST_P(CliSignedSetTest, SwappedFileOfTheSameSizeIsPassedOver) {
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  for (const bool with_key : {true, false}) {
    SCOPED_TRACE(with_key ? "signed set" : "no update.pub");
    std::filesystem::remove_all(game_dir);
    std::filesystem::create_directories(game_dir);
    WriteServers({ServerLine("Local", *server)});
    if (with_key) InstallKey("publisher");
    root.Write("game/Core.u", "core v1");
    root.Write("game/update2.dat", std::string(kRecord) + "Core.u 1\r\n");
    set = UpdateSet(server_dir);
    set.AddE("Core.u.gz", "Core.u", "2", "core v2");
    set.AddO("Swapped.exe", "Swapped.exe", "1", "honest");
    set.AddO("Good.txt", "Good.txt", "1", "good");
    if (with_key) set.AddLine("O Bare.txt Bare.txt 1 4");
    set.PutFile("Bare.txt", "bare");
    set.WriteList("UPDATE", UpdateSet::Digests::kListed);
    if (with_key) Sign("update3.dat", "publisher", Times(now - 60, now + 3600));
    set.PutFile("Swapped.exe", "hostil");
    const std::string gzip = root.Read("server/Core.u.gz");
    set.PutFile("Core.u.gz", gzip.substr(0, gzip.size() - 8) + std::string(8, '\0'));  // same size, other bytes

    const CliResult r = Run({"--server", "0", "--update"});
    EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
    EXPECT_NE(r.err.find("entry \"Swapped.exe\" passed over: the SHA-256 of \"Swapped.exe\" as received differs"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("entry \"Core.u\" passed over: the SHA-256"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Bare.txt") != std::string::npos, with_key) << r.err;
    EXPECT_FALSE(GameHas("Swapped.exe"));
    EXPECT_FALSE(GameHas("Swapped.exe.updtmp"));
    EXPECT_FALSE(GameHas("Core.u.gz.dltmp"));
    EXPECT_EQ(Game("Core.u"), "core v1");
    EXPECT_EQ(Game("Good.txt"), "good");
    EXPECT_EQ(Game("update2.dat"), std::string(kRecord) + "Core.u 1\r\nGood.txt 1\r\n");
  }
}

// --verify finds an installed file changed without changing its size and
// fetches it again; one whose served copy is wrong too stays unrepaired.
// A bundle's members, which nothing installed gives digests for, are named
// as not verifiable rather than counted as checked.
TEST_P(CliSignedSetTest, VerifyRepairsAFileChangedInPlace) {
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  InstallKey("publisher");
  set.AddE("Core.u.gz", "System\\Core.u", "1", "core code");
  set.AddO("Readme.txt", "Readme.txt", "1", "read me");
  set.AddO("Map.dat", "Map.dat", "1", "map data");
  set.AddBundle("C", "Maps.gz", "Maps.bnd", "1", {{"Maps\\Town.map", "town"}});
  set.WriteList("UPDATE", UpdateSet::Digests::kListed);
  Sign("update3.dat", "publisher", Times(now - 60, now + 3600));
  const CliResult installed = Run({"--server", "0", "--update"});
  ASSERT_EQ(installed.exit_code, 0) << installed.out << installed.err;

  root.Write("game/System/Core.u", "core cod3");
  root.Write("game/Readme.txt", "read m3");
  root.Write("game/Maps/Town.map", "t0wn");
  const CliResult repaired = Run({"--verify"});
  EXPECT_EQ(repaired.exit_code, 0) << repaired.out << repaired.err;
  const Lines lines = repaired.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "verify: 3 files checked, 2 repaired, 0 not repaired, 1 bundle not verifiable"),
            lines.end())
      << repaired.out;
  EXPECT_NE(repaired.out.find("not verifiable: Maps.bnd (a bundle"), std::string::npos) << repaired.out;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "repaired: System\\Core.u"), lines.end()) << repaired.out;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "repaired: Readme.txt"), lines.end()) << repaired.out;
  EXPECT_EQ(Game("System/Core.u"), "core code");
  EXPECT_EQ(Game("Readme.txt"), "read me");
  const std::string record = Game("update2.dat");
  EXPECT_EQ(record, "AVWSEN\r\n\r\nSystem\\Core.u 1\r\nReadme.txt 1\r\nMap.dat 1\r\nMaps.bnd 1\r\n")
      << "the record stays";

  SCOPED_TRACE("the server's copy is wrong as well: not repaired, exit 3");
  root.Write("game/Map.dat", "map dat4");
  set.PutFile("Map.dat", "map dat5");
  const CliResult unrepaired = Run({"--verify"});
  EXPECT_EQ(unrepaired.exit_code, 3) << unrepaired.out << unrepaired.err;
  EXPECT_NE(unrepaired.out.find("verify: 3 files checked, 0 repaired, 1 not repaired, 1 bundle"), std::string::npos)
      << unrepaired.out;
  EXPECT_NE(unrepaired.err.find("not repaired: Map.dat"), std::string::npos) << unrepaired.err;
  EXPECT_EQ(Game("Map.dat"), "map dat4");
  EXPECT_EQ(Game("update2.dat"), record);

  SCOPED_TRACE("the server sends less than the list gives: named, not repaired, exit 3");
  set.PutFile("Map.dat", "map");
  const CliResult short_sent = Run({"--verify"});
  EXPECT_EQ(short_sent.exit_code, 3) << short_sent.out << short_sent.err;
  EXPECT_NE(short_sent.err.find("entry \"Map.dat\" passed over: the server sent 3 of the 8 bytes of \"Map.dat\" that "
                                "its list gives"),
            std::string::npos)
      << short_sent.err;
  EXPECT_NE(short_sent.err.find("not repaired: Map.dat"), std::string::npos) << short_sent.err;
  EXPECT_EQ(Game("Map.dat"), "map dat4");

  SCOPED_TRACE("a signed entry for one of the updater's own files: compared, never fetched");
  set.AddO("update.pub.minisig", "update.pub.minisig", "1", "the mirror's signature");
  set.WriteList("UPDATE", UpdateSet::Digests::kListed);
  Sign("update3.dat", "publisher", Times(now - 30, now + 3600));
  root.Write("game/update2.dat", record + "update.pub.minisig 1\r\n");
  root.Write("game/update.pub.minisig", "kept");
  const CliResult owned = Run({"--verify"});
  EXPECT_EQ(owned.exit_code, 3) << owned.out << owned.err;
  EXPECT_NE(owned.err.find("not repaired: update.pub.minisig"), std::string::npos) << owned.out << owned.err;
  EXPECT_EQ(Game("update.pub.minisig"), "kept");
}

// Executable files keep their execute bits through an install, and
// --verify sets bits that differ from the list's flag without fetching the
// file, whose content is right.
TEST_P(CliSignedSetTest, VerifySetsTheListedExecuteBits) {
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  InstallKey("publisher");
  set.AddE("Game.gz", "System\\Game", "1", "game code");
  set.SetInstalledTail("9", "x");
  set.AddO("Start.sh", "Start.sh", "1", "#!/bin/sh");
  set.SetInstalledTail("9", "x");
  set.AddO("Readme.txt", "Readme.txt", "1", "read me");
  set.SetInstalledTail("7", "-");
  set.WriteList("UPDATE", UpdateSet::Digests::kListed);
  Sign("update3.dat", "publisher", Times(now - 60, now + 3600));
  const CliResult installed = Run({"--server", "0", "--update"});
  ASSERT_EQ(installed.exit_code, 0) << installed.out << installed.err;
  namespace fs = std::filesystem;
  const auto executable = [&](const std::string& name) {
    return (fs::status(root.path() + "game/" + name).permissions() & fs::perms::owner_exec) != fs::perms::none;
  };
  EXPECT_TRUE(executable("System/Game"));
  EXPECT_TRUE(executable("Start.sh"));
  EXPECT_FALSE(executable("Readme.txt"));

  fs::permissions(root.path() + "game/Start.sh", fs::perms::owner_exec | fs::perms::group_exec |
                  fs::perms::others_exec, fs::perm_options::remove);
  fs::permissions(root.path() + "game/Readme.txt", fs::perms::owner_exec, fs::perm_options::add);
  set.PutFile("Start.sh", "#!/bin/XX");  // a download would be refused by its digest
  const CliResult verified = Run({"--verify"});
  EXPECT_EQ(verified.exit_code, 0) << verified.out << verified.err;
  const Lines lines = verified.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "verify: 3 files checked, 2 repaired, 0 not repaired"), lines.end())
      << verified.out;
  EXPECT_TRUE(executable("Start.sh"));
  EXPECT_FALSE(executable("Readme.txt"));
  EXPECT_EQ(Game("Start.sh"), "#!/bin/sh");
}

// The file check with the key: a damaged file comes back from its signed
// entry; one the signed list does not name is not guessed from the server
// listing, so a mirror's own "update.pub" never replaces the publisher's.
TEST_P(CliSignedSetTest, FileCheckRepairsOnlyFromTheSignedList) {
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  InstallKey("publisher");
  root.Write("game/update2.dat", kRecord);
  ServeSignedSet("1", now - 60);
  set.PutFile("update.pub", root.Read("keys/stranger.pub"));
  set.PutFile("update.txt", "the mirror's notes");
  const CliResult installed = Run({"--server", "0", "--update"});
  ASSERT_EQ(installed.exit_code, 0) << installed.out << installed.err;

  root.Write("game/News.txt", "damaged");
  root.Write("game/update.txt", "notes");
  root.Write("game/datec.dat", BuildDatec({{"News.txt", "", 0, 6}, {"update.txt", "", 0, 18}}));
  const CliResult checked = Run({"--check"});
  EXPECT_EQ(checked.exit_code, 3) << "update.txt is left unrepaired" << checked.out << checked.err;
  EXPECT_EQ(checked.Lines().back(), "files can,t check, please try again") << checked.out;
  EXPECT_EQ(Game("News.txt"), "news 1");
  EXPECT_EQ(Game("update.txt"), "notes");
  EXPECT_EQ(Game("update.pub"), root.Read("keys/publisher.pub"));
  EXPECT_EQ(Game("ErrorList.TXT"), PathAsTheProgramNamesIt(game_dir) + "update.txt\r\n");
}

TEST_P(CliSignedSetTest, DamagedOrRemovedKeyIsAnErrorThatSaysSo) {
  ServeSignedSet("1", now - 60);
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  root.Write("game/update.pub", "untrusted comment: minisign public key\nnot base64\n");
  root.Write("game/update2.dat", kRecord);

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_NE(r.out.find("update.pub: not a minisign public key"), std::string::npos) << r.out;
  EXPECT_FALSE(GameHas("News.txt"));
  EXPECT_EQ(Game("update2.dat"), kRecord);

  SCOPED_TRACE("the key removed after a signed set was accepted: an unsigned set is refused");
  std::filesystem::remove(game_dir + "update.pub");
  root.Write("game/update2.sig.ts", std::to_string(now - 7200) + "\n");
  std::filesystem::remove(server_dir + "update3.dat.minisig");
  const CliResult removed = Run({"--server", "0", "--update"});
  EXPECT_EQ(removed.exit_code, 3) << removed.out << removed.err;
  EXPECT_NE(removed.out.find("update2.sig.ts: this game folder has accepted update sets signed by update.pub"),
            std::string::npos)
      << removed.out;
  EXPECT_NE(removed.out.find("remove both update.pub and update2.sig.ts"), std::string::npos) << removed.out;
  EXPECT_FALSE(GameHas("News.txt"));
  EXPECT_FALSE(GameHas("update3.dat"));
  EXPECT_EQ(Game("update2.dat"), kRecord);
}

INSTANTIATE_TEST_SUITE_P(RealServers, CliSignedSetTest,
                         ::testing::ValuesIn(EveryServerSetting()), SettingName);

}  // namespace
}  // namespace test_support
