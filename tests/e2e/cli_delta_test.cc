// updater-cli patching changed files from their chunks, over every server
// setting: a set published by mkupdate with chunk indexes, version 1
// installed by the updater itself, then version 2 published over it.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli_e2e_fixture.h"

namespace test_support {
namespace {

constexpr size_t kMiB = 1 << 20;

// A game-like archive: stretches of 256 KiB, three of noise to one of
// text, so that the gzip file of it is close to its size (a patch must
// save more than a request per changed place costs over FTP) and still
// has compressed chunks to inflate.
std::string GameLikeBytes(size_t size, unsigned seed) {
  std::string bytes;
  for (unsigned n = 0; bytes.size() < size; ++n) {
    const size_t piece = std::min<size_t>(256 * 1024, size - bytes.size());
    if (n % 4 == 3) {
      for (size_t i = 0; i < piece; ++i) bytes += "the map of the castle "[(i * 7 + n) % 22];
    } else {
      bytes += NoisyBytes(piece, seed * 1000 + n);
    }
  }
  return bytes;
}

// What a run that patched says it fetched: "update: fetched R of W bytes
// (N file(s) patched from chunks)".
struct RunFetched {
  int64_t fetched = -1;  // -1: no such line
  int64_t whole = 0;
  int patched = 0;
};

RunFetched FetchedBy(const CliResult& r) {
  static const std::regex kLine(R"(update: fetched (\d+) of (\d+) bytes \((\d+) files? patched from chunks\))");
  for (const std::string& line : r.Lines()) {
    std::smatch m;
    if (std::regex_match(line, m, kLine)) return {std::stoll(m[1]), std::stoll(m[2]), std::stoi(m[3])};
  }
  return {};
}

class CliDeltaTest : public CliE2eTest {
 protected:
  CliDeltaTest() {
    root.Write("release.rules", "raw *.bin\n");  // .bin files are "O" entries, the rest "E"
  }

  // Puts a file into the release (real '/' name).
  void Release(const std::string& name, const std::string& bytes) const { root.Write("release/" + name, bytes); }
  // mkupdate publish of the release into the served folder.
  void Publish(const std::string& delta_min = "4M") const {
    const CliResult r = RunProgram({std::string(UPDATER_BINARY_DIR) + "/tools/mkupdate/mkupdate", "publish",
                                    root.path() + "release", server_dir, "--rules", root.path() + "release.rules",
                                    "--delta-min", delta_min},
                                   "C");
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  // The served file of a published entry whose local name ends in `local_tail`.
  std::string ServedNameOf(const std::string& local_tail) const {
    std::ifstream list(server_dir + "update3.dat");
    for (std::string line; std::getline(list, line);) {
      std::istringstream fields(line);
      std::string type, remote, local;
      fields >> type >> remote >> local;
      if (local.size() >= local_tail.size() && local.compare(local.size() - local_tail.size(), local_tail.size(), local_tail) == 0)
        return remote;
    }
    throw std::runtime_error("no entry for " + local_tail);
  }
  // Overwrites bytes of a served file in place.
  void OverwriteServed(const std::string& remote, int64_t offset, const std::string& bytes) const {
    std::fstream file(server_dir + remote, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(offset);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << remote;
  }
  // Serves the release's first version from `server` and installs it (whole files).
  void InstallFirstVersion(const UpdateServer& server) {
    Publish();
    WriteServers({ServerLine("Local", server)});
    const CliResult r = Run({"--server", "0", "--update"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(FetchedBy(r).fetched, -1) << "nothing to patch from in a fresh folder: " << r.out;
    ASSERT_EQ(r.Lines().back(), "files updated");
  }
  CliResult Update(const std::vector<std::string>& more = {}, const Interruption& interruption = {}) const {
    std::vector<std::string> args = {"--update"};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args, "C", interruption);
  }
};

// Five kinds of edit in both a gzip-served ("E") and a plain ("O") file.
std::string EditedEverywhere(std::string bytes) {
  bytes.replace(10, 5, "EDIT!");                               // at the start
  bytes.insert(bytes.size() / 4, NoisyBytes(40000, 91));       // shifts what follows
  bytes.replace(bytes.size() / 2, 3000, NoisyBytes(3000, 92));  // in the middle
  bytes.erase(bytes.size() * 3 / 4, 50000);                    // shifts back
  bytes.replace(bytes.size() - 8, 8, "THE END.");              // at the end
  return bytes;
}

TEST_P(CliDeltaTest, EditsAnywhereCostOnlyTheChunksAroundThem) {
  const std::string pak = GameLikeBytes(16 * kMiB, 1), movie = GameLikeBytes(16 * kMiB, 2);
  Release("Data/Game.pak", pak);
  Release("Data/Movie.bin", movie);
  auto server = StartServer();
  InstallFirstVersion(*server);

  Release("Data/Game.pak", EditedEverywhere(pak));
  Release("Data/Movie.bin", EditedEverywhere(movie));
  Publish();
  const CliResult r = Update();
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Game("Data/Game.pak") == EditedEverywhere(pak));
  EXPECT_TRUE(Game("Data/Movie.bin") == EditedEverywhere(movie));
  const RunFetched fetched = FetchedBy(r);
  EXPECT_EQ(fetched.patched, 2) << r.out;
  EXPECT_GT(fetched.whole, int64_t{24 * kMiB}) << "both served files' sizes";
  EXPECT_GT(fetched.fetched, 100000) << "the changed chunks at least";
  EXPECT_LT(fetched.fetched, fetched.whole / 5) << r.out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(game_dir))
    EXPECT_EQ(entry.path().filename().string().find("tmp"), std::string::npos) << entry.path() << " is left behind";

  const CliResult again = Update();
  EXPECT_EQ(again.Lines().back(), "No files updateing needed") << again.out;
}

TEST_P(CliDeltaTest, OnlyFilesPublishedWithAnIndexArePatched) {
  // With --delta-min 8M: one file grows past it, one shrinks below it.
  const std::string grows = GameLikeBytes(7 * kMiB, 3), shrinks = GameLikeBytes(9 * kMiB, 4);
  Release("Data/Grows.bin", grows);
  Release("Data/Shrinks.bin", shrinks);
  Publish("8M");
  auto server = StartServer();
  WriteServers({ServerLine("Local", *server)});
  ASSERT_EQ(Run({"--server", "0", "--update"}).exit_code, 0);

  const std::string grown = grows + GameLikeBytes(2 * kMiB, 5), shrunk = shrinks.substr(0, 7 * kMiB);
  Release("Data/Grows.bin", grown);
  Release("Data/Shrinks.bin", shrunk);
  Publish("8M");
  const CliResult r = Update();
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(Game("Data/Grows.bin") == grown);
  EXPECT_TRUE(Game("Data/Shrinks.bin") == shrunk);
  const RunFetched fetched = FetchedBy(r);
  EXPECT_EQ(fetched.patched, 1) << r.out;
  // The file below the limit whole, at most what was added to the other.
  EXPECT_GT(fetched.fetched, int64_t{7 * kMiB});
  EXPECT_LT(fetched.fetched, int64_t{10 * kMiB});
}

TEST_P(CliDeltaTest, VerifyRepairsADamagedFileFromItsChunks) {
  const std::string pak = GameLikeBytes(16 * kMiB, 6);
  Release("Data/Game.pak", pak);
  auto server = StartServer();
  InstallFirstVersion(*server);
  {
    std::fstream file(game_dir + "Data/Game.pak", std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(5 * kMiB);
    file << "damaged by a disk";
  }
  // The served file is damaged too, far from there: only a repair that
  // fetches the damaged chunk alone gives the listed file.
  OverwriteServed(ServedNameOf("Game.pak"), 12 * kMiB, NoisyBytes(4096, 7));

  const CliResult r = Run({"--verify"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(Game("Data/Game.pak") == pak);
  EXPECT_NE(r.out.find("verify: 1 files checked, 1 repaired, 0 not repaired"), std::string::npos) << r.out;
}

TEST_P(CliDeltaTest, ASwappedChunkIsRefusedAndNothingServedIsInstalled) {
  const std::string movie = GameLikeBytes(16 * kMiB, 8);
  Release("Data/Movie.bin", movie);
  auto server = StartServer();
  InstallFirstVersion(*server);
  std::string changed = movie;
  changed.replace(6 * kMiB, 1000, NoisyBytes(1000, 9));
  Release("Data/Movie.bin", changed);
  Publish();
  // A mirror swaps the changed bytes for others.
  OverwriteServed(ServedNameOf("Movie.bin"), 6 * kMiB, NoisyBytes(1000, 10));

  const CliResult r = Update();
  EXPECT_NE(r.err.find("entry \"Data\\Movie.bin\" fetched whole: \"" + ServedNameOf("Movie.bin") +
                       "\": a chunk as served differs from the one its index gives"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(FetchedBy(r).patched, 0) << r.out;
  EXPECT_TRUE(Game("Data/Movie.bin") == movie) << "the whole file fails its digest as well";
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
}

TEST_P(CliDeltaTest, AKilledAssemblyContinuesWhereItStopped) {
  const std::string movie = GameLikeBytes(16 * kMiB, 11);
  Release("Data/Movie.bin", movie);
  auto server = StartServer();
  InstallFirstVersion(*server);
  std::string changed = movie;
  changed.insert(8 * kMiB, NoisyBytes(3 * kMiB, 12));
  Release("Data/Movie.bin", changed);
  Publish();
  // The same patch, uninterrupted, in a copy of the game folder.
  const std::string twin_dir = root.path() + "twin/";
  std::filesystem::copy(game_dir, twin_dir, std::filesystem::copy_options::recursive);
  const CliResult whole_patch = RunUpdaterCli({"--dir", twin_dir, "--update"});
  ASSERT_EQ(FetchedBy(whole_patch).patched, 1) << whole_patch.out << whole_patch.err;

  // Cut off once the seed's first half and 1 MiB of the insertion are in place.
  const std::string assembly = game_dir + "Data/Movie.bin.updtmp";
  const CliResult killed = Update({"--max-rate", "2048"}, Interruption{SIGKILL, [&] {
                                    std::error_code missing;
                                    const uintmax_t size = std::filesystem::file_size(assembly, missing);
                                    return !missing && size > 9 * kMiB;
                                  }});
  ASSERT_TRUE(killed.interrupted) << killed.out << killed.err;
  const CliResult resumed = Update();
  EXPECT_EQ(resumed.exit_code, 0) << resumed.out << resumed.err;
  EXPECT_TRUE(Game("Data/Movie.bin") == changed);
  const RunFetched fetched = FetchedBy(resumed);
  EXPECT_EQ(fetched.patched, 1) << resumed.out;
  EXPECT_LT(fetched.fetched, FetchedBy(whole_patch).fetched - int64_t{kMiB} / 2) << "what the first run had is not fetched again";
}

// Each server program once: ranges do not depend on the loopback.
std::vector<ServerSetting> EachServerProgram() {
  return {{ServerKind::kPyftpdlib, Loopback::kIpv4},
          {ServerKind::kVsftpd, Loopback::kIpv4},
          {ServerKind::kNginxHttp, Loopback::kIpv4},
          {ServerKind::kNginxHttps, Loopback::kIpv6}};
}

INSTANTIATE_TEST_SUITE_P(EachServer, CliDeltaTest, ::testing::ValuesIn(EachServerProgram()), SettingName);

// A web server that answers a range request with the whole file.
class CliWebDeltaTest : public CliDeltaTest {};

TEST_P(CliWebDeltaTest, AServerThatIgnoresRangesGivesTheWholeFile) {
  const std::string movie = GameLikeBytes(8 * kMiB, 13);
  Release("Data/Movie.bin", movie);
  const WebProtocol protocol = GetParam().kind == ServerKind::kNginxHttp ? WebProtocol::kHttp : WebProtocol::kHttps;
  auto server = WebServer::Start(server_dir, {.protocol = protocol, .ignore_ranges = true}, GetParam().loopback);
  TrustCa(server->CaFile());
  InstallFirstVersion(*server);
  std::string changed = movie;
  changed.replace(kMiB, 10, "0123456789");
  Release("Data/Movie.bin", changed);
  Publish();

  const CliResult r = Update();
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(Game("Data/Movie.bin") == changed);
  EXPECT_NE(r.err.find("entry \"Data\\Movie.bin\" fetched whole: the server does not give parts of \"" +
                       ServedNameOf("Movie.bin") + "\""),
            std::string::npos)
      << r.err;
  EXPECT_EQ(FetchedBy(r).patched, 0) << r.out;
}

INSTANTIATE_TEST_SUITE_P(WebServers, CliWebDeltaTest,
                         ::testing::Values(ServerSetting{ServerKind::kNginxHttp, Loopback::kIpv4},
                                           ServerSetting{ServerKind::kNginxHttps, Loopback::kIpv4}),
                         SettingName);

}  // namespace
}  // namespace test_support
