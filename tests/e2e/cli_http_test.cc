// updater-cli against nginx where HTTP(S) differs from FTP: a folder
// without the list, certificates that do not prove the server, redirects,
// a server that ignores ranges, and a download continued after a kill.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli_e2e_fixture.h"
#include "update/install_journal.h"

namespace test_support {
namespace {

using Lines = std::vector<std::string>;

class CliHttpTest : public CliE2eTest {
 protected:
  // nginx on the test's loopback; the game folder trusts the test CA.
  std::unique_ptr<WebServer> StartWebServer(const std::string& dir, WebServerOptions options = {}) {
    std::unique_ptr<WebServer> server = WebServer::Start(dir, options, GetParam().loopback);
    TrustCa(TestCaFile());
    return server;
  }
  std::string BareDir() const {
    std::filesystem::create_directories(root.path() + "bare");
    return root.path() + "bare/";
  }
  // The lines of standard error.
  static Lines ErrorLines(const CliResult& r) {
    Lines lines;
    std::istringstream in(r.err);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

// A plain folder without "update3.dat" answers 404: the check goes on to
// the next server, whatever its protocol.
TEST_P(CliHttpTest, FolderWithoutTheListSendsTheCheckToTheNextServer) {
  set.AddO("Fresh.txt", "Fresh.txt", "1", "fresh");
  set.WriteList();
  auto bare = StartWebServer(BareDir());
  auto ftp = FtpServer::Start(FtpServerKind::kVsftpd, server_dir, "", "", FtpServer::Passive::kOffered, 0,
                              GetParam().loopback);
  auto http = StartWebServer(server_dir, {.protocol = WebProtocol::kHttp});
  const std::vector<const UpdateServer*> holders = {ftp.get(), http.get()};
  for (const UpdateServer* holder : holders) {
    SCOPED_TRACE("the list on " + holder->Name());
    std::filesystem::remove(game_dir + "update2.dat");
    WriteServers({ServerLine("Holder", *holder), ServerLine("Bare", *bare)});
    const CliResult r = Run({"--server", "1", "--update"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.Lines(), (Lines{"connecting...", "1file remain to be updated", "0files remain to be updated",
                                "files updated"}));
    EXPECT_EQ(Game("Fresh.txt"), "fresh");
  }
  const std::vector<std::string> asked = bare->Downloads();
  EXPECT_NE(std::find(asked.begin(), asked.end(), "update3.dat"), asked.end()) << "the list was asked for";

  SCOPED_TRACE("the folder without the list is the last one: no further attempt");
  WriteServers({ServerLine("Bare", *bare)});
  const CliResult alone = Run({"--server", "0"});
  EXPECT_EQ(alone.exit_code, 1) << alone.out;
  EXPECT_EQ(alone.Lines(), (Lines{"connecting...", "Disconnected", "Disconnected"}));
  EXPECT_EQ(alone.err, "updater-cli: " + bare->Url() + ": no update3.dat\n");
}

// Certificates are verified, chain and host name, with the game's CAFILE
// added to the trusted ones; the server tried and why it was refused are
// named, and nothing is asked of a server that was refused.
TEST_P(CliHttpTest, OnlyACertificateThatProvesTheServerIsAccepted) {
  set.AddO("News.txt", "News.txt", "1", "news");
  set.WriteList();
  struct Refusal {
    CertificateKind certificate;
    const char* says;  // part of the failure line
  };
  for (const Refusal& refusal : {Refusal{CertificateKind::kSelfSigned, "self-signed certificate"},
                                 Refusal{CertificateKind::kOtherHost, "no alternative certificate subject name"},
                                 Refusal{CertificateKind::kExpired, "certificate has expired"}}) {
    SCOPED_TRACE(CertificateKindName(refusal.certificate));
    auto server = StartWebServer(server_dir, {.certificate = refusal.certificate});
    WriteServers({ServerLine("Mirror", *server)});
    const CliResult r = Run({"--server", "0", "--update"});
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    const Lines err = ErrorLines(r);
    ASSERT_EQ(err.size(), 1u) << r.err;
    EXPECT_EQ(err[0].rfind("updater-cli: " + server->Url() + ": ", 0), 0u) << r.err;
    EXPECT_NE(err[0].find(refusal.says), std::string::npos) << r.err;
    EXPECT_FALSE(GameHas("News.txt"));
    EXPECT_EQ(server->Downloads(), Lines{}) << "no file asked of a server not proven";
  }

  SCOPED_TRACE("the test CA's certificate: refused without CAFILE, accepted with it");
  auto server = StartWebServer(server_dir);
  WriteServers({ServerLine("Mirror", *server)});
  std::filesystem::remove(game_dir + "FtpConfig.ini");
  const CliResult untrusted = Run({"--server", "0", "--update"});
  EXPECT_EQ(untrusted.exit_code, 1) << untrusted.out << untrusted.err;
  EXPECT_NE(untrusted.err.find("updater-cli: " + server->Url() + ": "), std::string::npos) << untrusted.err;
  EXPECT_FALSE(GameHas("News.txt"));
  WriteServers({ServerLine("Mirror", *server)});
  const CliResult trusted = Run({"--update"});
  EXPECT_EQ(trusted.exit_code, 0) << trusted.out << trusted.err;
  EXPECT_EQ(Game("News.txt"), "news");
}

// A redirect is followed from https to https, never from https to http.
TEST_P(CliHttpTest, RedirectsAreFollowedOnlyToHttps) {
  set.AddO("News.txt", "News.txt", "1", "news");
  set.WriteList();
  auto plain = StartWebServer(server_dir, {.protocol = WebProtocol::kHttp});
  auto secure = StartWebServer(server_dir);
  const auto moved_to = [](const std::string& from, const WebServer& to) {
    return "    location /" + from + "/ { rewrite ^/" + from + "/(.*)$ " + to.Url() + "$1 permanent; }\n";
  };
  auto mover = StartWebServer(BareDir(), {.extra_lines = moved_to("to-http", *plain) + moved_to("to-https", *secure)});

  WriteServers({"Moved " + mover->Url() + "to-http/ 0 10000 anonymous"});
  const CliResult refused = Run({"--server", "0", "--update"});
  EXPECT_EQ(refused.exit_code, 1) << refused.out << refused.err;
  EXPECT_NE(refused.err.find("updater-cli: " + mover->Url() + "to-http/: "), std::string::npos) << refused.err;
  EXPECT_FALSE(GameHas("News.txt"));
  EXPECT_EQ(plain->Requests().size(), 0u) << "the plain server was never asked";

  WriteServers({"Moved " + mover->Url() + "to-https/ 0 10000 anonymous"});
  const CliResult followed = Run({"--server", "0", "--update"});
  EXPECT_EQ(followed.exit_code, 0) << followed.out << followed.err;
  EXPECT_EQ(Game("News.txt"), "news");
  const std::vector<std::string> asked = secure->Downloads();
  EXPECT_NE(std::find(asked.begin(), asked.end(), "News.txt"), asked.end());
}

// A server that answers a range request with 200 and the whole file: the
// download starts over and is never appended to what the partial held.
TEST_P(CliHttpTest, ServerIgnoringRangesGivesWholeFiles) {
  const std::string core = NoisyBytes(300000, 1), help = NoisyBytes(200000, 2);
  set.AddE("Core.gz", "System\\Core.u", "2", core);
  set.AddO("Help.txt", "Help.txt", "3", help);
  set.WriteList("UPDATE", UpdateSet::Digests::kListed);
  const std::string served_core = Gzip(core);
  const auto size = [](const std::string& bytes) { return static_cast<int64_t>(bytes.size()); };
  NoteDownloadOf(game_dir, game_dir + "Core.gz.dltmp", {"Core.gz", size(served_core), "2", Sha256Of(served_core)});
  root.Write("game/Core.gz.dltmp", served_core.substr(0, 100000));
  // Other bytes than the server's: appended to, they would fail the digest.
  NoteDownloadOf(game_dir, game_dir + "Help.txt.updtmp", {"Help.txt", size(help), "3", Sha256Of(help)});
  root.Write("game/Help.txt.updtmp", std::string(50000, 'm'));
  auto server = StartWebServer(server_dir, {.ignore_ranges = true});
  WriteServers({ServerLine("Local", *server)});

  const CliResult r = Run({"--server", "0", "--update"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(Game("System/Core.u") == core);
  EXPECT_TRUE(Game("Help.txt") == help);
  EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nSystem\\Core.u 2\r\nHelp.txt 3\r\n");
  for (const char* left : {"Core.gz.dltmp", "Help.txt.updtmp", "updtmp.dat"}) EXPECT_FALSE(GameHas(left)) << left;
  for (const WebRequest& request : server->Requests()) EXPECT_NE(request.status, 206) << request.path;
}

// A run killed in the middle of a download leaves its partial file; the
// next run asks only for the rest and installs the file whole.
TEST_P(CliHttpTest, DownloadCutOffByAKillIsContinuedWithARange) {
  const std::string big = NoisyBytes(4 << 20, 7);
  set.AddO("Big.bin", "Data\\Big.bin", "1", big);
  set.WriteList("UPDATE", UpdateSet::Digests::kListed);
  auto slow = StartWebServer(server_dir, {.rate_limit_bps = 512 << 10});
  auto fast = StartWebServer(server_dir);
  const std::string partial = game_dir + "Data/Big.bin.updtmp";
  const auto partial_size = [&] {
    std::error_code missing;
    const auto bytes = std::filesystem::file_size(partial, missing);
    return missing ? 0 : static_cast<int64_t>(bytes);
  };
  WriteServers({ServerLine("Slow", *slow)});
  const CliResult killed = Run({"--server", "0", "--update"}, "C",
                               Interruption{SIGKILL, [&] { return partial_size() >= (512 << 10); }});
  ASSERT_TRUE(killed.interrupted) << killed.out << killed.err;
  ASSERT_EQ(killed.signal, SIGKILL);
  const int64_t held = partial_size();
  ASSERT_GT(held, 0);
  ASSERT_LT(held, static_cast<int64_t>(big.size()));

  WriteServers({ServerLine("Fast", *fast)});
  const CliResult resumed = Run({"--update"});
  EXPECT_EQ(resumed.exit_code, 0) << resumed.out << resumed.err;
  EXPECT_TRUE(Game("Data/Big.bin") == big) << "continued and installed byte for byte";
  EXPECT_FALSE(GameHas("Data/Big.bin.updtmp"));
  std::vector<WebRequest> asked;
  for (const WebRequest& request : fast->Requests())
    if (request.path == "Big.bin") asked.push_back(request);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].status, 206);
  EXPECT_EQ(asked[0].body_bytes, static_cast<int64_t>(big.size()) - held);
}

INSTANTIATE_TEST_SUITE_P(Nginx, CliHttpTest,
                         ::testing::Values(ServerSetting{ServerKind::kNginxHttps, Loopback::kIpv4},
                                           ServerSetting{ServerKind::kNginxHttps, Loopback::kIpv6}),
                         SettingName);

}  // namespace
}  // namespace test_support
