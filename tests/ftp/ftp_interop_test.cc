// TFtpClient against real FTP servers from Debian on both loopbacks:
// listing and byte-identical downloads in both modes and with passive mode
// refused, a partial download continued with REST, and a refused login.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <string_view>

#include "ftp/ftp_client.h"
#include "support/ftp_servers.h"
#include "support/temp_folder.h"

using test_support::FtpServer;
using test_support::FtpServerKind;
using test_support::Loopback;
using test_support::TempFolder;

namespace {

// Distinct bytes with every value and CR LF pairs, so a text-mode rewrite
// or a lost block shows up.
std::string SampleBytes(size_t size) {
  std::string bytes(size, '\0');
  std::mt19937 random(static_cast<unsigned>(size));
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(random() & 0xFF);
  for (size_t i = 0; i + 1 < size; i += 4093) {
    bytes[i] = '\r';
    bytes[i + 1] = '\n';
  }
  return bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<size_t>(file.tellg()), '\0');
  file.seekg(0);
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

struct ServerSetting {
  FtpServerKind kind;
  Loopback loopback;
};

class FtpInteropTest : public ::testing::TestWithParam<ServerSetting> {
 protected:
  FtpServerKind Kind() const { return GetParam().kind; }
  bool OnIpv6() const { return GetParam().loopback == Loopback::kIpv6; }
  void StartServer(FtpServer::Passive passive = FtpServer::Passive::kOffered) {
    server_ = FtpServer::Start(Kind(), root_.path(), "", "", passive, 0, GetParam().loopback);
  }
  void TearDown() override {
    if (server_) server_->Stop();
  }

  void Aim(TFtpClient& client) {
    client.Host = server_->host();
    client.Port = server_->port();
    client.UserID = "anonymous";
    client.Password = "updater@example.com";
    client.TimeOut = 30000;
  }

  static inline const std::vector<std::pair<std::string, size_t>> kFiles = {
      {"empty.bin", 0}, {"one.bin", 1}, {"mebi.bin", 1 << 20}, {"big.bin", (64u << 20) + 1}};
  TempFolder root_;
  TempFolder local_;
  std::unique_ptr<FtpServer> server_;
};

}  // namespace

TEST_P(FtpInteropTest, ListsAndDownloadsByteIdenticalInEachMode) {
  std::map<std::string, std::string> served;
  for (const auto& [name, size] : kFiles) {
    served[name] = SampleBytes(size);
    root_.Write("pub/" + name, served[name]);
  }
  // What the status trace shows of the data connections: the "227" replies
  // to "PASV" (on IPv6 "229" to "EPSV"), the "PORT " (on IPv6 "EPRT ")
  // that the listing reports before sending it, and the server's refusals
  // of "PASV" (and "EPSV").
  struct Mode {
    const char* name;
    FtpServer::Passive server;
    bool passive;
    long pasv_replies, port_reports, refusals;
  };
  const long transfers = 1 + static_cast<long>(kFiles.size());
  std::vector<Mode> modes = {Mode{"passive", FtpServer::Passive::kOffered, true, transfers, 0, 0},
                             Mode{"active", FtpServer::Passive::kOffered, false, 0, 1, 0},
                             // Not asked again after the refusal: one for the whole session
                             // (on IPv6, one for "EPSV" and one for "PASV").
                             Mode{"passive refused", FtpServer::Passive::kRefused, true, 0, 1, OnIpv6() ? 2 : 1}};
  if (OnIpv6() && Kind() == FtpServerKind::kPyftpdlib) {
    // pyftpdlib answers "PASV" on IPv6 with a "227" that names "::1": no
    // port to take, so "EPRT " follows.
    modes.push_back(Mode{"extended passive refused", FtpServer::Passive::kExtendedRefused, true, 0, 1, 1});
  }
  const std::string passive_reply = OnIpv6() ? "229 " : "227 ";
  const std::string port_command = OnIpv6() ? "EPRT |2|::1|" : "PORT ";
  for (const Mode& mode : modes) {
    SCOPED_TRACE(mode.name);
    StartServer(mode.server);
    TFtpClient client;
    Aim(client);
    client.Passive = mode.passive;
    std::vector<std::string> statuses;
    client.ReportLevel = 1;
    client.OnStatus = [&](const std::string& text) { statuses.push_back(text); };
    bool connected = false;
    client.OnConnect = [&] { connected = true; };
    client.Connect();
    ASSERT_TRUE(connected);
    ASSERT_EQ(client.Transaction("CWD pub").substr(0, 3), "250");

    std::vector<std::string> names;
    client.OnListItem = [&](const std::string& name) { names.push_back(name); };
    client.Nlist();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"big.bin", "empty.bin", "mebi.bin", "one.bin"}));

    for (const auto& [name, size] : kFiles) {
      SCOPED_TRACE(name);
      std::string local = local_.path() + name;
      int successes = 0;
      client.OnSuccess = [&](TCmdType) { ++successes; };
      // The listed size, as the update engine gives it: big.bin lies past
      // the bound of a file without one.
      client.Download(name, local, static_cast<int64_t>(size));
      EXPECT_EQ(successes, 1);
      EXPECT_EQ(client.BytesTotal, static_cast<int64_t>(size));
      // Compared by content, but reported without dumping 64 MiB.
      EXPECT_TRUE(ReadFile(local) == served[name]) << "content differs";
    }
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
    server_->Stop();

    auto count_starting = [&statuses](const std::string& prefix) {
      return static_cast<long>(std::count_if(statuses.begin(), statuses.end(),
                                             [&](const std::string& text) { return text.rfind(prefix, 0) == 0; }));
    };
    EXPECT_EQ(count_starting(passive_reply), mode.pasv_replies);
    EXPECT_EQ(count_starting(port_command), mode.port_reports);
    EXPECT_EQ(count_starting(Kind() == FtpServerKind::kVsftpd ? "550 " : "502 "), mode.refusals);
    if (OnIpv6()) {
      EXPECT_EQ(count_starting("PORT "), 0) << "PORT cannot carry an IPv6 address";
      EXPECT_EQ(count_starting("227 "), mode.server == FtpServer::Passive::kExtendedRefused ? 1 : 0);
    }
  }
}

TEST_P(FtpInteropTest, ContinuesAPartialDownloadWithRest) {
  const std::string served = SampleBytes((1 << 20) + 12345);
  root_.Write("part.bin", served);
  StartServer();
  TFtpClient client;
  Aim(client);
  std::vector<std::string> statuses;
  client.ReportLevel = 1;
  client.OnStatus = [&](const std::string& text) { statuses.push_back(text); };
  std::string captured;
  client.OnBytesCaptured = [&](std::string_view bytes, const std::shared_ptr<const void>&) { captured += bytes; };
  client.Connect();
  const size_t held = 300000;
  const std::string local = local_.path() + "part.bin";
  {
    SCOPED_TRACE("the first bytes there");
    local_.Write("part.bin", served.substr(0, held));
    client.Download("part.bin", local, static_cast<int64_t>(served.size()), true);
    EXPECT_TRUE(ReadFile(local) == served) << "content differs";
    EXPECT_TRUE(captured == served) << "the bytes handed on differ";
    EXPECT_EQ(client.BytesTotal, static_cast<int64_t>(served.size()));
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "REST " + std::to_string(held)), statuses.end());
    EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(),
                            [](const std::string& text) { return text.rfind("350", 0) == 0; }));
    const std::string received = "Received " + std::to_string(served.size() - held) + " Bytes";
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), received), statuses.end());
  }
  {
    SCOPED_TRACE("other bytes there: only the rest is fetched, so they stay");
    const std::string marker(held, 'm');
    local_.Write("part.bin", marker);
    captured.clear();
    client.Download("part.bin", local, static_cast<int64_t>(served.size()), true);
    EXPECT_TRUE(ReadFile(local) == marker + served.substr(held)) << "content differs";
  }
  client.Disconnect();
}

TEST_P(FtpInteropTest, AnonymousLoginWithAnEmptyPassword) {
  StartServer();
  // The updater's first attempts log in with no password at all.
  TFtpClient client;
  Aim(client);
  client.Password = "";
  bool connected = false;
  client.OnConnect = [&] { connected = true; };
  client.Connect();
  EXPECT_TRUE(connected);
  client.Disconnect();
}

TEST_P(FtpInteropTest, RefusedLoginThrowsTheServersReply) {
  StartServer();
  TFtpClient client;
  Aim(client);
  client.UserID = FtpServer::kRefusedUser;
  int failed = 0;
  int connects = 0;
  client.OnConnectionFailed = [&] { ++failed; };
  client.OnConnect = [&] { ++connects; };
  try {
    client.Connect();
    FAIL() << "the server took a user it refuses";
  } catch (const FTPException& error) {
    EXPECT_EQ(std::string(error.what()).substr(0, 3), "530") << error.what();
  }
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(connects, 0);
  EXPECT_FALSE(client.Connected());
}

TEST(FtpServerAccountTest, PyftpdlibWithAUserRefusesAnonymous) {
  TempFolder root;
  auto server = FtpServer::Start(FtpServerKind::kPyftpdlib, root.path(), "publisher", "pw");
  {
    SCOPED_TRACE("the configured user");
    TFtpClient client;
    client.Host = "127.0.0.1";
    client.Port = server->port();
    client.UserID = "publisher";
    client.Password = "pw";
    client.Connect();
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
  }
  {
    SCOPED_TRACE("anonymous");
    TFtpClient client;
    client.Host = "127.0.0.1";
    client.Port = server->port();
    client.UserID = "anonymous";
    client.Password = "";
    EXPECT_THROW(client.Connect(), FTPException);
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpInteropTest,
                         ::testing::Values(ServerSetting{FtpServerKind::kPyftpdlib, Loopback::kIpv4},
                                           ServerSetting{FtpServerKind::kVsftpd, Loopback::kIpv4},
                                           ServerSetting{FtpServerKind::kPyftpdlib, Loopback::kIpv6},
                                           ServerSetting{FtpServerKind::kVsftpd, Loopback::kIpv6}),
                         [](const ::testing::TestParamInfo<ServerSetting>& info) {
                           const std::string kind = test_support::FtpServerName(info.param.kind);
                           return info.param.loopback == Loopback::kIpv4
                                      ? kind
                                      : kind + "_" + test_support::LoopbackName(info.param.loopback);
                         });
