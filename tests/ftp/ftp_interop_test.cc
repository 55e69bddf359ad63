// TFtpClient against real FTP servers from Debian on loopback: listing,
// byte-identical downloads in both modes, and a refused login.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "ftp/ftp_client.h"
#include "support/ftp_servers.h"
#include "support/temp_folder.h"

using test_support::FtpServer;
using test_support::FtpServerKind;
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
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

class FtpInteropTest : public ::testing::TestWithParam<FtpServerKind> {
 protected:
  void SetUp() override { server_ = FtpServer::Start(GetParam(), root_.path()); }
  void TearDown() override { server_->Stop(); }

  void Aim(TFtpClient& client) {
    client.Host = "127.0.0.1";
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

TEST_P(FtpInteropTest, ListsAndDownloadsByteIdenticalInBothModes) {
  for (const auto& [name, size] : kFiles) root_.Write("pub/" + name, SampleBytes(size));
  TFtpClient client;
  Aim(client);
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

  for (bool passive : {false, true}) {
    client.Passive = passive;
    for (const auto& [name, size] : kFiles) {
      SCOPED_TRACE(name + (passive ? " passive" : " active"));
      std::string local = local_.path() + name;
      int successes = 0;
      client.OnSuccess = [&](TCmdType) { ++successes; };
      client.Download(name, local);
      EXPECT_EQ(successes, 1);
      EXPECT_EQ(client.BytesTotal, static_cast<int64_t>(size));
      // Compared by content, but reported without dumping 64 MiB.
      EXPECT_TRUE(ReadFile(local) == ReadFile(root_.path() + "pub/" + name)) << "content differs";
    }
  }
  client.Disconnect();
  EXPECT_FALSE(client.Connected());
}

TEST_P(FtpInteropTest, AnonymousLoginWithAnEmptyPassword) {
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
                         ::testing::Values(FtpServerKind::kPyftpdlib, FtpServerKind::kVsftpd),
                         [](const ::testing::TestParamInfo<FtpServerKind>& info) {
                           return std::string(test_support::FtpServerName(info.param));
                         });
