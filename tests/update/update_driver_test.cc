#include "update/update_driver.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ftp/ftp_client.h"
#include "platform/errors.h"
#include "support/engine_window.h"
#include "support/fake_transport.h"
#include "support/ftp_peer.h"
#include "update/update_run.h"
#include "support/loopback_port.h"
#include "trust/minisign_signature.h"
#include "update/server_line.h"
#include "update/signed_set.h"

namespace {

// A login without a password, then a name listing that holds `names`.
void LogInAndList(test_support::FtpPeerSession& s, const std::string& names) {
  s.Send("220 Hi\r\n");
  s.Reply("230 In\r\n");
  s.Reply("200 Type set\r\n");
  s.AnswerDataSetup();
  s.Reply("150 Here comes the directory listing.\r\n");
  s.OpenData();
  s.SendData(names);
  s.CloseData();
  s.Send("226 Directory send OK.\r\n");
}

class UpdateDriverTest : public ::testing::Test {
 protected:
  // isp0.dat with `servers` entries on closed ports, the dialog's choice
  // being the last one (so the first attempt goes there).
  void WriteClosedServers(int servers) {
    std::string isp0;
    for (int i = 0; i < servers; ++i)
      isp0 += "S" + std::to_string(i) + " 127.0.0.1 " + std::to_string(test_support::ClosedLoopbackPort()) + " 2000 guest\r\n";
    isp0 += "end\r\n";
    w.folder.Write("isp0.dat", isp0);
    w.choice = ServerChoice{servers - 1, servers + 1, LoadLines(isp0)};
  }
  static LineList LoadLines(const std::string& text) {
    LineList lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(text.substr(start, end - start));
    return lines;
  }
  static RandomSource FirstDraw() {
    return [](int) { return 0; };
  }

  test_support::EngineTestWindow w;
};

TEST_F(UpdateDriverTest, ComparisonFillsTheListsOnlyWhenBothFilesWereRead) {
  w.folder.Write("update3.dat", "H\r\nE Sys.u.gz System\\Sys.u 512 1234\r\nO Help.txt Help\\Help.txt 101 200\r\n");
  {
    SCOPED_TRACE("no record: nothing is created in the window");
    EXPECT_THROW(BuildPendingList(w), EFOpenError);
    EXPECT_FALSE(w.RecordList.has_value());
    EXPECT_FALSE(w.PendingList.has_value());
    EXPECT_FALSE(w.ServerList.has_value());
  }
  w.folder.Write("update2.dat", "AVWSEN\r\nSystem\\Sys.u 401\r\n");
  BuildPendingList(w);
  EXPECT_EQ(*w.PendingList, (LineList{"U 1 E Sys.u.gz System\\Sys.u 512 1234", "O Help.txt Help\\Help.txt 101 200"}));
  EXPECT_EQ(w.pending, (std::vector<std::string>{"System\\Sys.u", "Help\\Help.txt"}));
  EXPECT_EQ(*w.RecordList, (LineList{"AVWSEN", "System\\Sys.u 401"}));
}

// The check and the run reach the server only through the transport: over
// one that serves from memory they log in, list, fetch and install exactly
// as over FTP, with the fallback server taken when the first refuses; over
// one without a name listing (false) the check asks for its files directly.
class UpdateOverAnyTransportTest : public ::testing::TestWithParam<bool> {};

TEST_P(UpdateOverAnyTransportTest, TheCheckAndTheRunNeedOnlyTheTransport) {
  const bool lists = GetParam();
  test_support::FakeServer server;
  server.lists_names = lists;
  server.files["update3.dat"] = "H\r\nO Help.txt Help\\Help.txt 3 5\r\n";
  server.files["Help.txt"] = "help!";
  test_support::EngineTestWindow w(test_support::FakeTransportFactory(server));
  const LineList isp0 = {"S0 a.example 21 2000 guest", "end"};
  w.folder.Write("isp0.dat", "S0 a.example 21 2000 guest\r\nend\r\n");
  w.choice = ServerChoice{0, 2, isp0};
  w.StartPending = true;
  FormResize(w, [](int) { return 0; });
  EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kUpdatesReady}));
  EXPECT_EQ(w.pending, (std::vector<std::string>{"Help\\Help.txt"}));
  EXPECT_TRUE(w.update_armed);
  Button1Click(w);
  EXPECT_EQ(w.folder.Read("Help/Help.txt"), "help!");
  EXPECT_EQ(w.folder.Read("update2.dat"), "AVWSEN\r\n\r\nHelp\\Help.txt 3\r\n");
  EXPECT_EQ(w.status_texts.back(), "files updated");
  EXPECT_TRUE(w.start_game_shown);
  EXPECT_EQ(server.requests,
            lists ? (std::vector<std::string>{"login guest", "list", "get update3.dat", "get Help.txt"})
                  : (std::vector<std::string>{"login guest", "get update3.dat", "get bulletin.htm", "get Help.txt"}))
      << "without a listing the bulletin is asked for, and its refusal means there is none";

  SCOPED_TRACE("a refused login shows no server");
  test_support::FakeServer refusing;
  refusing.refuse_login = true;
  refusing.lists_names = lists;
  test_support::EngineTestWindow refused(test_support::FakeTransportFactory(refusing));
  refused.folder.Write("isp0.dat", "S0 a.example 21 2000 guest\r\nend\r\n");
  refused.choice = ServerChoice{0, 2, isp0};
  refused.StartPending = true;
  FormResize(refused, [](int) { return 0; });
  EXPECT_EQ(refused.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kNoServer}));
  EXPECT_EQ(refusing.requests, (std::vector<std::string>{"login guest"}));
  EXPECT_EQ(refused.unusable, (std::vector<std::string>{"a.example:21: login refused (530 Login incorrect.)"}));
}

// Each server line gets the transport of its scheme: a URL line that no
// transport serves is passed over with the reason, and a server without
// update3.dat sends the check on to the next line, with a listing or,
// asked directly, without one.
TEST_P(UpdateOverAnyTransportTest, EachServerLineGetsTheTransportOfItsScheme) {
  const bool lists = GetParam();
  const LineList isp0 = {"M0 https://secure.example/game/ 0 2000 guest",
                         "M1 HTTP://mirror.example:8080/game 0 2000 guest", "S2 b.example 21 2000 guest", "end"};
  const std::vector<std::string> looked = lists ? std::vector<std::string>{"login guest", "list"}
                                                : std::vector<std::string>{"login guest", "get update3.dat"};
  for (const bool holds : {false, true}) {
    SCOPED_TRACE(holds ? "the last server holds update3.dat" : "no server holds update3.dat");
    test_support::FakeServer mirror;  // holds nothing
    mirror.lists_names = lists;
    test_support::FakeServer server;
    server.lists_names = lists;
    if (holds) server.files["update3.dat"] = "H\r\nO Help.txt Help\\Help.txt 3 5\r\n";
    test_support::EngineTestWindow w(TransportRegistry{{"ftp", test_support::FakeTransportFactory(server)},
                                                       {"http", test_support::FakeTransportFactory(mirror)}});
    w.folder.Write("isp0.dat", isp0[0] + "\r\n" + isp0[1] + "\r\n" + isp0[2] + "\r\nend\r\n");
    w.choice = ServerChoice{0, 4, isp0};
    w.StartPending = true;
    FormResize(w, [](int) { return 0; });
    EXPECT_EQ(mirror.requests, looked);
    if (!holds) {
      EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kNoServer}));
      EXPECT_EQ(w.unusable,
                (std::vector<std::string>{"https://secure.example/game/: \"https\" servers are not supported",
                                          "HTTP://mirror.example:8080/game: no update3.dat",
                                          "b.example:21: no update3.dat"}));
      EXPECT_EQ(server.requests, looked);
      continue;
    }
    EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kUpdatesReady}));
    EXPECT_EQ(w.pending, (std::vector<std::string>{"Help\\Help.txt"}));
    EXPECT_EQ(server.requests, lists ? (std::vector<std::string>{"login guest", "list", "get update3.dat"})
                                     : (std::vector<std::string>{"login guest", "get update3.dat", "get bulletin.htm"}));
  }
}

INSTANTIATE_TEST_SUITE_P(Listing, UpdateOverAnyTransportTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "WithListing" : "WithoutListing";
                         });

struct ServerLineCase {
  std::string line;
  std::string scheme, host;
  int port;
  std::string base_path, name;
};

// A plain line names host and port; a URL line its scheme, host, port (0:
// the protocol's own) and folder, whatever field 3 holds.
TEST(ServerLineTest, PlainAndUrlLinesGiveTheirLogin) {
  const std::vector<ServerLineCase> cases = {
      {"S0 a.example 21 2000 guest", "ftp", "a.example", 21, "", "a.example:21"},
      {"M0 http://mirror.example/game/patch/ 21 2000 guest", "http", "mirror.example", 0, "/game/patch/",
       "http://mirror.example/game/patch/"},
      {"M1 HTTPS://Mirror.example:8443/game 0 2000 guest", "https", "Mirror.example", 8443, "/game/",
       "HTTPS://Mirror.example:8443/game"},
      {"M2 http://mirror.example 0 2000 guest", "http", "mirror.example", 0, "/", "http://mirror.example"},
      {"M3 http://[::1]:8080/x/ 0 2000 guest", "http", "::1", 8080, "/x/", "http://[::1]:8080/x/"},
      {"M4 http://[::1]/ 0 2000 guest", "http", "::1", 0, "/", "http://[::1]/"},
  };
  for (const ServerLineCase& c : cases) {
    SCOPED_TRACE(c.line);
    const ServerLogin login = ServerLineLogin(c.line, " ");
    EXPECT_EQ(ServerLineScheme(c.line), c.scheme);
    EXPECT_EQ(login.scheme, c.scheme);
    EXPECT_EQ(login.host, c.host);
    EXPECT_EQ(login.port, c.port);
    EXPECT_EQ(login.base_path, c.base_path);
    EXPECT_EQ(login.timeout_ms, 2000);
    EXPECT_EQ(login.user, "guest");
    EXPECT_EQ(login.password, " ");
    EXPECT_EQ(ServerLineName(c.line), c.name);
  }
  EXPECT_THROW(ServerLineLogin("M5 http://mirror.example:port/ 0 2000 guest", ""), EConvertError);
}

// With the game's key (its name in any case) only a list whose signature
// names update3.dat is taken, the last accepted timestamp is read whatever
// its file's case, and a folder that has accepted a signed set stays
// signed when the key is removed.
TEST(SignedCheckTest, KeyAndStampInAnyCaseBindTheListAndKeepSigningOn) {
  const trust::SecretKey key = trust::GenerateSecretKey();
  const int64_t now = UnixTimeNow();
  auto signature = [&](const std::string& bytes, const std::string& comment) {
    return trust::FormatSignature(trust::SignBytes(key, bytes, comment));
  };
  const std::string list = "H\r\n";
  const std::string bulletin = "<p>news</p>";
  const std::string list_signature = signature(list, "timestamp:" + std::to_string(now - 60) + "\tfile:update3.dat");
  const std::string bulletin_signature =
      signature(bulletin, "timestamp:" + std::to_string(now) + "\tfile:bulletin.htm\texpires:" +
                              std::to_string(now + 3600));
  test_support::FakeServer server;
  test_support::EngineTestWindow w(test_support::FakeTransportFactory(server));
  w.folder.Write("isp0.dat", "S0 a.example 21 2000 guest\r\nend\r\n");
  w.choice = ServerChoice{0, 2, {"S0 a.example 21 2000 guest", "end"}};
  // The check's outcome, or the text of the error that ended it.
  auto check = [&]() -> std::string {
    w.StartPending = true;
    w.outcomes.clear();
    w.refused.clear();
    w.unusable.clear();
    w.status_text.clear();
    server.requests.clear();
    ClearListing(w);  // as in a new process: the check runs once per process
    std::filesystem::remove(w.folder.path() + "update3.dat");
    try {
      FormResize(w, [](int) { return 0; });
    } catch (const Exception& error) {
      return error.what();
    }
    return w.outcomes == std::vector<CheckOutcome>{CheckOutcome::kUpToDate} ? "up to date" : "other outcome";
  };
  w.folder.Write("UPDATE.PUB", trust::FormatPublicKey(key.Public()));
  {
    SCOPED_TRACE("UPDATE.PUB: an unsigned list is refused");
    server.files = {{"update3.dat", list}};
    EXPECT_NE(check().find("there is no signature (update3.dat.minisig is missing)"), std::string::npos);
    EXPECT_EQ(w.folder.Read("update3.dat"), "<missing>");
    EXPECT_EQ(w.status_text, "Disconnected") << "the check ended; the error box says why";
    EXPECT_EQ(w.unusable, (std::vector<std::string>{"a.example:21: update3.dat refused: there is no signature "
                                                    "(update3.dat.minisig is missing)"}));
  }
  {
    SCOPED_TRACE("the bulletin and its signature served as the list");
    server.files = {{"update3.dat", bulletin}, {"update3.dat.minisig", bulletin_signature}};
    EXPECT_NE(check().find("update3.dat from a.example:21: the signature was made for \"bulletin.htm\", not for "
                           "update3.dat"),
              std::string::npos);
    EXPECT_EQ(w.folder.Read("update3.dat"), "<missing>");
    EXPECT_EQ(w.folder.Read("update2.sig.ts"), "<missing>");
  }
  {
    SCOPED_TRACE("the list's signature, naming update3.dat, is taken; the list served as the bulletin is not");
    server.files = {{"update3.dat", list}, {"update3.dat.minisig", list_signature},
                    {"bulletin.htm", list}, {"bulletin.htm.minisig", list_signature}};
    EXPECT_EQ(check(), "up to date");
    EXPECT_EQ(w.folder.Read("update3.dat"), list);
    EXPECT_EQ(w.folder.Read("update2.sig.ts"), std::to_string(now - 60) + "\n");
    EXPECT_EQ(w.refused, (std::vector<std::string>{"bulletin.htm not shown: the signature was made for "
                                                   "\"update3.dat\", not for bulletin.htm"}));
    EXPECT_EQ(w.folder.Read("bulletin.htm"), "<missing>");
  }
  {
    SCOPED_TRACE("UPDATE2.SIG.TS holds a later set's timestamp: a rollback");
    std::filesystem::remove(w.folder.path() + "update2.sig.ts");
    w.folder.Write("UPDATE2.SIG.TS", std::to_string(now) + "\n");
    EXPECT_NE(check().find("a rollback"), std::string::npos);
    EXPECT_EQ(w.folder.Read("UPDATE2.SIG.TS"), std::to_string(now) + "\n");
  }
  {
    SCOPED_TRACE("the key removed after a signed set was accepted: nothing is fetched");
    std::filesystem::remove(w.folder.path() + "UPDATE.PUB");
    server.files = {{"update3.dat", list}};
    const std::string error = check();
    EXPECT_NE(error.find("UPDATE2.SIG.TS: this game folder has accepted update sets signed by update.pub, which "
                         "is missing now"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("remove both update.pub and update2.sig.ts"), std::string::npos) << error;
    EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kFailed}));
    EXPECT_TRUE(server.requests.empty());
    EXPECT_EQ(w.folder.Read("update3.dat"), "<missing>");
    EXPECT_FALSE(MayShowServedFile(w.ExeDir, w.folder.Write("bulletin.htm", bulletin)));
  }
  SCOPED_TRACE("both removed: unsigned sets again");
  std::filesystem::remove(w.folder.path() + "UPDATE2.SIG.TS");
  EXPECT_EQ(check(), "up to date");
  EXPECT_EQ(w.folder.Read("update3.dat"), list);
}

TEST_F(UpdateDriverTest, TheCheckRunsOncePerProcess) {
  WriteClosedServers(1);
  w.ShowPending = true;
  w.StartPending = false;
  Timer1Timer(w);
  EXPECT_FALSE(w.ShowPending);
  EXPECT_TRUE(w.outcomes.empty()) << "not armed: nothing runs";

  w.StartPending = true;
  Timer1Timer(w);
  EXPECT_TRUE(w.outcomes.empty()) << "the window has not been shown again";
  w.ShowPending = true;
  Timer1Timer(w);
  EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kNoServer}));
  FormResize(w);
  w.ShowPending = true;
  Timer1Timer(w);
  EXPECT_EQ(w.outcomes.size(), 1u) << "a later resize or tick runs nothing";
}

TEST_F(UpdateDriverTest, EveryServerUnreachableEndsWithDisconnected) {
  WriteClosedServers(3);
  w.LangLetter = 't';
  w.StartPending = true;
  FormResize(w, FirstDraw());
  // 連線中1... 連線中2... 連線中3... then 連線中斷
  const std::string connecting = "\xB3\x73\xBD\x75\xA4\xA4";
  const std::string disconnected = "\xB3\x73\xBD\x75\xA4\xA4\xC2\x5F";
  EXPECT_EQ(w.status_texts, (std::vector<std::string>{connecting + "1...", connecting + "2...", connecting + "3...",
                                                      disconnected}));
  ASSERT_FALSE(w.boxes.empty());
  EXPECT_EQ(w.boxes.back().text, disconnected);
  EXPECT_EQ(w.boxes.back().icon, BoxIcon::kInformation);
  EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kNoServer}));
  EXPECT_FALSE(w.IsConnected);
  EXPECT_EQ(w.connection_status.rfind("Connected Server2", 0), 0u) << w.connection_status;
  EXPECT_FALSE(w.RecordList.has_value()) << "the comparison never ran";
  EXPECT_EQ(w.folder.Read("update2.dat"), "<missing>");
}

// Each server tried is named with what happened to it, in the order tried,
// before the no-usable-server text: here the chosen one lists no
// update3.dat and the fallback attempts meet a closed port, a refused
// login and a silent greeting.
TEST_F(UpdateDriverTest, EveryUnusableServerIsNamedWithWhatHappened) {
  test_support::FtpPeer lister([](test_support::FtpPeerSession& s) {
    LogInAndList(s, "bulletin.htm\r\n");
  });
  test_support::FtpPeer refusing([](test_support::FtpPeerSession& s) {
    s.Send("220 Hi\r\n");
    s.Reply("331 Password\r\n");
    s.Reply("530 Login incorrect.\r\n");
  });
  test_support::FtpPeer silent([](test_support::FtpPeerSession& s) { s.ReadCommand(); });
  const std::string closed = "127.0.0.1:" + std::to_string(test_support::ClosedLoopbackPort());
  auto line = [](const std::string& name, const std::string& server, const std::string& timeout) {
    return name + " " + server.substr(0, server.find(':')) + " " + server.substr(server.find(':') + 1) + " " +
           timeout + " guest";
  };
  const std::string at_refusing = "127.0.0.1:" + std::to_string(refusing.port());
  const std::string at_silent = "127.0.0.1:" + std::to_string(silent.port());
  const std::string at_lister = "127.0.0.1:" + std::to_string(lister.port());
  const LineList isp0 = {line("S0", closed, "2000"), line("S1", at_refusing, "2000"), line("S2", at_silent, "500"),
                         line("S3", at_lister, "2000"), "end"};
  std::string text;
  for (const std::string& l : isp0) text += l + "\r\n";
  w.folder.Write("isp0.dat", text);
  w.choice = ServerChoice{3, 5, isp0};
  w.StartPending = true;
  FormResize(w, FirstDraw());
  EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kNoServer}));
  EXPECT_EQ(w.unusable, (std::vector<std::string>{at_lister + ": no update3.dat",
                                                  closed + ": connection refused or unreachable",
                                                  at_refusing + ": login refused (530 Login incorrect.)",
                                                  at_silent + ": timed out after 0.5 s"}));
  EXPECT_EQ(w.status_text, "Disconnected");
  EXPECT_EQ(w.BoxTexts(), (std::vector<std::string>{"Disconnected"})) << "the window's box is unchanged";
  w.Connection.reset();
  EXPECT_EQ(lister.Finish(), "");
  EXPECT_EQ(refusing.Finish(), "");
  EXPECT_EQ(silent.Finish(), "");
}

TEST_F(UpdateDriverTest, ConfirmedExitStopsBeforeTheFirstAttempt) {
  WriteClosedServers(2);
  w.ExitRequested = true;
  w.StartPending = true;
  FormResize(w, FirstDraw());
  EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kAborted}));
  EXPECT_EQ(w.status_texts, (std::vector<std::string>{"connecting..."}));
  EXPECT_TRUE(w.boxes.empty());
}

TEST_F(UpdateDriverTest, BadServerLinesStopTheCheckWithAnError) {
  w.StartPending = true;
  w.folder.Write("isp0.dat", "S0 127.0.0.1 port 2000 guest\r\nend\r\n");
  w.choice = ServerChoice{0, 2, {"S0 127.0.0.1 port 2000 guest", "end"}};
  try {
    FormResize(w, FirstDraw());
    ADD_FAILURE() << "no error raised";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'port' is not a valid integer value");
  }
  EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kFailed}));

  SCOPED_TRACE("a server list without its end line");
  w.StartPending = true;
  w.outcomes.clear();
  const std::string line = "S0 127.0.0.1 " + std::to_string(test_support::ClosedLoopbackPort()) + " 2000 guest";
  w.folder.Write("isp0.dat", line + "\r\n");
  w.choice = ServerChoice{0, 2, {line}};
  EXPECT_THROW(FormResize(w, FirstDraw()), EListError);
  EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kFailed}));
}

TEST_F(UpdateDriverTest, NetworkSettingsReachTheClientAndASilentServerEndsTheCheck) {
  // PASSIVE=0: the listing and the download come by PORT. STALLTIME=1: the
  // server that never opens the data connection for update3.dat fails the
  // check after a second instead of holding it for good.
  test_support::FtpPeer peer([](test_support::FtpPeerSession& s) {
    LogInAndList(s, "update3.dat\r\n");
    s.AnswerDataSetup();
    s.Reply("150 Opening BINARY mode data connection for update3.dat (40 bytes).\r\n");
  });
  const std::string line = "S0 127.0.0.1 " + std::to_string(peer.port()) + " 2000 guest";
  w.folder.Write("isp0.dat", line + "\r\nend\r\n");
  w.folder.Write("FtpConfig.ini", "[NETWORK]\r\nSTALLTIME=1\r\nPASSIVE=0\r\n");
  w.choice = ServerChoice{0, 2, {line, "end"}};
  w.StartPending = true;
  try {
    FormResize(w, FirstDraw());
    ADD_FAILURE() << "the check passed a server that never sent update3.dat";
  } catch (const EDownloadError& e) {
    EXPECT_STREQ(e.what(), "Data connection timed out: no connection within 1 s (RETR update3.dat)");
    EXPECT_EQ(e.Failure(), DownloadFailure::kCutOff) << "a stall cuts the transfer off";
  }
  EXPECT_EQ(w.outcomes, (std::vector<CheckOutcome>{CheckOutcome::kFailed}));
  EXPECT_EQ(w.status_text, "Disconnected") << "after the error box the status line says the check ended";
  EXPECT_EQ(w.connection_status, "Download failure");
  ASSERT_TRUE(w.Connection);
  w.Connection.reset();
  EXPECT_EQ(peer.Finish(), "");
  std::vector<std::string> commands = peer.Commands();
  ASSERT_EQ(commands.size(), 6u);
  EXPECT_EQ(commands[2].rfind("PORT ", 0), 0u) << commands[2];
  EXPECT_EQ(commands[3], "NLST");
  EXPECT_EQ(commands[4].rfind("PORT ", 0), 0u) << commands[4];
  EXPECT_EQ(commands[5], "RETR update3.dat");
}

}  // namespace
