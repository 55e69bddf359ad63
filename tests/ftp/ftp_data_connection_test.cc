// How transfers make their data connection, against a scripted peer:
// passive first, active when asked or when the server refuses "PASV", and
// never to the address a "227" reply names.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <set>

#include "ftp/ftp_client.h"
#include "ftp/ftp_reply.h"
#include "ftp/transfer_client.h"
#include "support/ftp_peer.h"
#include "support/temp_folder.h"

using ftp_test::Lines;
using ftp_test::Login;
using ftp_test::TransferClient;
using test_support::FtpPeer;
using test_support::FtpPeerSession;
using test_support::TempFolder;

namespace {

struct ModeCase {
  const char* name;
  bool passive;      // the client's setting
  bool refuse_pasv;  // the peer answers "PASV" with 502
  Lines setup;       // what the client sends before "RETR " and before "NLST" ("PORT" for "PORT h,h,h,h,p,p")
};

class FtpDataModeTest : public ::testing::TestWithParam<ModeCase> {};

void PrintTo(const ModeCase& c, std::ostream* out) { *out << c.name; }

// A command line as the cases write it: "PORT " with its numbers cut off,
// after checking they name the loopback address.
std::string Shape(const std::string& command) {
  if (command.rfind("PORT ", 0) != 0) return command;
  EXPECT_EQ(command.rfind("PORT 127,0,0,1,", 0), 0u) << command;
  return "PORT";
}

// The sockets this process holds open (the peer's included), by inode
// ("socket:[123]").
std::set<std::string> OpenSockets() {
  std::set<std::string> sockets;
  DIR* fds = opendir("/proc/self/fd");
  while (const dirent* entry = readdir(fds)) {
    char target[64] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    if (readlink(link.c_str(), target, sizeof target - 1) > 0 && std::string(target).rfind("socket:", 0) == 0)
      sockets.insert(target);
  }
  closedir(fds);
  return sockets;
}

}  // namespace

TEST_P(FtpDataModeTest, DownloadThenListing) {
  const ModeCase& mode = GetParam();
  TempFolder folder;
  FtpPeer peer([&mode](FtpPeerSession& s) {
    Login(s);
    if (mode.refuse_pasv) s.Reply("502 Command not implemented.\r\n");
    s.AnswerDataSetup();
    s.ReadCommand();  // RETR
    s.Send("150 Opening BINARY mode data connection for game.pak (123456 bytes).\r\n");
    s.OpenData();
    s.SendData(std::string(100000, 'a'));
    s.CloseData();
    s.Send("226 Transfer complete.\r\n");
    s.AnswerDataSetup();
    s.Reply("150 Here comes the directory listing.\r\n");
    s.OpenData();
    s.SendData("game.pak\r\n");
    s.CloseData();
    s.Send("226 Directory send OK.\r\n");
  });
  TransferClient recorder(peer);
  recorder.client.Passive = mode.passive;
  // The first stop comes once the peer has closed the data connection, the
  // second once the client has asked to close its end and read the final
  // reply. The peer opens nothing in between, so a socket new at the second
  // stop is one the close opened. (On a loaded machine the close may still
  // be pending then: counts alone would not tell the two apart.)
  std::vector<std::set<std::string>> sockets_at_stops;
  recorder.client.OnTransactionStop = [&] {
    recorder.events.push_back("stop");
    sockets_at_stops.push_back(OpenSockets());
  };
  recorder.client.Download("game.pak", folder.path() + "game.pak");
  ASSERT_EQ(sockets_at_stops.size(), 2u);
  std::vector<std::string> opened;
  std::set_difference(sockets_at_stops[1].begin(), sockets_at_stops[1].end(), sockets_at_stops[0].begin(),
                      sockets_at_stops[0].end(), std::back_inserter(opened));
  EXPECT_EQ(opened, std::vector<std::string>{}) << "closing the data connection opened another socket";
  EXPECT_EQ(folder.Read("game.pak"), std::string(100000, 'a'));
  EXPECT_EQ(recorder.client.BytesTotal, 100000);  // what arrived, not what was announced
  EXPECT_EQ(recorder.client.BytesRecvd(), 100000);
  EXPECT_EQ(recorder.client.DataConnection(), nullptr);
  ASSERT_GE(recorder.events.size(), 5u);
  EXPECT_EQ(recorder.events.front(), "start 123456");
  EXPECT_EQ(recorder.events[recorder.events.size() - 4], "packet 100000");
  EXPECT_EQ(Lines(recorder.events.end() - 3, recorder.events.end()), (Lines{"stop", "stop", "success 8"}));
  recorder.events.clear();
  recorder.client.Nlist();
  EXPECT_EQ(recorder.events, (Lines{"start 0", "item game.pak", "stop", "success 13"}));
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");

  Lines expected = {"USER anonymous", "TYPE I"};
  expected.insert(expected.end(), mode.setup.begin(), mode.setup.end() - 1);
  expected.push_back("RETR game.pak");
  expected.push_back(mode.setup.back());
  expected.insert(expected.end(), {"NLST", "QUIT"});
  Lines commands;
  for (const std::string& command : peer.Commands()) commands.push_back(Shape(command));
  EXPECT_EQ(commands, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FtpDataModeTest,
    ::testing::Values(ModeCase{"Passive", true, false, {"PASV", "PASV"}},
                      ModeCase{"Active", false, false, {"PORT", "PORT"}},
                      // A server that refused "PASV" is not asked again on this connection.
                      ModeCase{"PassiveRefused", true, true, {"PASV", "PORT", "PORT"}}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST(FtpDataConnectionTest, PassiveConnectsWhereTheControlConnectionGoes) {
  TempFolder folder;
  // 127.0.0.2 is loopback too, but the peer listens on 127.0.0.1 only: a
  // data connection sent there would be refused.
  auto script = [](FtpPeerSession& s) {
    Login(s);
    EXPECT_EQ(s.ReadCommand(), "PASV");
    s.ReplyPasv("127,0,0,2");
    s.Reply("150 Opening (2 bytes)\r\n");
    s.OpenData();
    s.SendData("ok");
    s.CloseData();
    s.Send("226 Done\r\n");
  };
  {
    SCOPED_TRACE("the 227 reply names another host");
    FtpPeer peer(script);
    TransferClient recorder(peer);
    recorder.client.Download("a.bin", folder.path() + "a.bin");
    EXPECT_EQ(folder.Read("a.bin"), "ok");
    recorder.client.Disconnect();
    EXPECT_EQ(peer.Finish(), "");
  }
  {
    SCOPED_TRACE("through a proxy: the proxy's address, not the target host's");
    FtpPeer peer(script);
    TFtpClient client;
    client.Proxy = "127.0.0.1";
    client.ProxyPort = peer.port();
    client.Host = "127.0.0.2";
    client.UserID = "anonymous";
    client.Connect();
    client.Download("b.bin", folder.path() + "b.bin");
    EXPECT_EQ(folder.Read("b.bin"), "ok");
    client.Disconnect();
    EXPECT_EQ(peer.Finish(), "");
    EXPECT_EQ(peer.Commands().front(), "USER anonymous@127.0.0.2");
  }
}

TEST(FtpDataConnectionTest, ExtendedPassiveReplyGivesItsPortOrNone) {
  struct Case {
    const char* reply;
    int port;
  };
  for (const Case& c : {Case{"229 Entering Extended Passive Mode (|||6446|)\r\n", 6446},
                        Case{"229 ok (!!!65535!)", 65535},
                        Case{"229 Entering extended passive mode (|||1|).", 1},
                        Case{"229 (|||0|)", 0},
                        Case{"229 (|||65536|)", 0},
                        Case{"229 (|||123456|)", 0},
                        Case{"229 (||6446|)", 0},
                        Case{"229 (|!|6446|)", 0},
                        Case{"229 (|||6446!)", 0},
                        Case{"229 (|||6446|", 0},
                        Case{"229 (|||)", 0},
                        Case{"229 (1112221)", 0},
                        Case{"229 |||6446|", 0},
                        Case{"227 Entering Passive Mode (127,0,0,1,4,1)", 0}}) {
    EXPECT_EQ(ExtendedPassivePort(c.reply), c.port) << c.reply;
  }
}
