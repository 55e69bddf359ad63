// TFtpClient's control connection against a scripted peer: greetings,
// login sequences, refusals, proxies and QUIT, with the exact commands sent
// and the order of events.
#include "ftp/ftp_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "ftp/ftp_reply.h"
#include "support/ftp_peer.h"

using test_support::FtpPeer;
using test_support::FtpPeerSession;
using Lines = std::vector<std::string>;

namespace {

// A client aimed at the peer that records its events and status texts.
struct RecordingClient {
  explicit RecordingClient(const FtpPeer& peer) {
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.UserID = "player";
    client.Password = "secret";
    client.ReportLevel = 1;
    client.OnStatus = [this](const std::string& text) { events.push_back("status " + text); };
    client.OnConnect = [this] { events.push_back("OnConnect"); };
    client.OnDisconnect = [this] { events.push_back("OnDisconnect"); };
    client.OnConnectionFailed = [this] { events.push_back("OnConnectionFailed"); };
  }
  TFtpClient client;
  Lines events;
};

}  // namespace

TEST(FtpClientTest, MultiLineGreetingIsReadWholeBeforeUser) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send("220-Welcome\r\n");
    s.Send(" to the server\r\n220 Ready\r\n");
    s.Reply("331 Password please\r\n");
    s.Reply("230 Logged in\r\n");
    s.Reply("200 Type set to I\r\n");
  });
  RecordingClient recorder(peer);
  recorder.client.Connect();
  EXPECT_TRUE(recorder.client.Connected());
  recorder.client.Disconnect();
  EXPECT_FALSE(recorder.client.Connected());
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"USER player", "PASS secret", "TYPE I", "QUIT"}));
  EXPECT_EQ(recorder.events, (Lines{"status 220-Welcome\r\n", "status  to the server\r\n", "status 220 Ready\r\n",
                                    "status USER player", "status 331 Password please\r\n", "status PASS ",
                                    "status 230 Logged in\r\n", "status 200 Type set to I\r\n", "OnConnect",
                                    "status QUIT", "status 221 Goodbye.\r\n", "OnDisconnect"}));
}

TEST(FtpClientTest, ContinuationWithoutDashEndsTheGreetingEarly) {
  FtpPeer peer([](FtpPeerSession& s) {
    // "Welcome-to-the-server" has no dash in position four: the greeting
    // ends there and "220 Ready" is taken as the reply to "USER ".
    s.Send("220-Hello\r\nWelcome-to-the-server\r\n220 Ready\r\n");
    s.ReadCommand();  // USER, answered by the stale "220 Ready"
    s.Send("331 Password please\r\n");  // taken as the reply to TYPE I
    s.ReadCommand();  // TYPE I
  });
  RecordingClient recorder(peer);
  recorder.client.Connect();
  EXPECT_EQ(recorder.events.back(), "OnConnect");
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"USER player", "TYPE I", "QUIT"}));
}

TEST(FtpClientTest, UserAnsweredBy230LogsInWithoutPassword) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send("220 Hi\r\n");
    s.Reply("230 Anonymous access granted\r\n");
    s.Reply("504 Type not supported\r\n");  // refusing TYPE I changes nothing
  });
  RecordingClient recorder(peer);
  recorder.client.Host = "localhost";  // a name: resolved before the greeting is read
  recorder.client.OnHostResolved = [&] { recorder.events.push_back("OnHostResolved"); };
  recorder.client.Connect();
  EXPECT_EQ(recorder.events.front(), "OnHostResolved");
  EXPECT_EQ(recorder.events[1], "status 220 Hi\r\n");
  EXPECT_EQ(recorder.events.back(), "OnConnect");
  {
    SCOPED_TRACE("Connect on a connected client does nothing");
    size_t before = recorder.events.size();
    recorder.client.Connect();
    EXPECT_EQ(recorder.events.size(), before);
  }
  recorder.client.Disconnect();
  {
    SCOPED_TRACE("Disconnect on a disconnected client sends nothing");
    size_t before = recorder.events.size();
    recorder.client.Disconnect();
    EXPECT_EQ(recorder.events.size(), before);
  }
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"USER player", "TYPE I", "QUIT"}));
}

TEST(FtpClientTest, RefusedPasswordQuitsAndThrowsTheReply) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send("220 Hi\r\n");
    s.Reply("331 Password please\r\n");
    s.Reply("530 Login incorrect.\r\n");
  });
  RecordingClient recorder(peer);
  try {
    recorder.client.Connect();
    FAIL() << "a refused login was taken";
  } catch (const FTPException& error) {
    EXPECT_STREQ(error.what(), "530 Login incorrect.\r\n");
  }
  EXPECT_FALSE(recorder.client.Connected());
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"USER player", "PASS secret", "QUIT"}));
  Lines tail(recorder.events.end() - 6, recorder.events.end());
  EXPECT_EQ(tail, (Lines{"status 530 Login incorrect.\r\n", "OnConnectionFailed", "status QUIT",
                         "status 221 Goodbye.\r\n", "OnDisconnect", "status Disconnected"}));
  for (const std::string& event : recorder.events) {
    EXPECT_EQ(event.find("secret"), std::string::npos) << "the password was reported: " << event;
  }
}

TEST(FtpClientTest, RefusingGreetingEndsTheLogin) {
  FtpPeer peer([](FtpPeerSession& s) { s.Send("421 Too many users\r\n"); });
  RecordingClient recorder(peer);
  EXPECT_THROW(recorder.client.Connect(), FTPException);
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"QUIT"}));
}

TEST(FtpClientTest, SilentServerEndsTheLoginAfterTimeOut) {
  FtpPeer peer([](FtpPeerSession& s) { s.ReadCommand(); });  // accepts, then never speaks
  RecordingClient recorder(peer);
  recorder.client.TimeOut = 300;
  recorder.client.StallTime = 50;  // bounds what follows the login, not the login
  auto start = std::chrono::steady_clock::now();
  try {
    recorder.client.Connect();
    FAIL() << "logged in to a server that never greeted";
  } catch (const ESockError& error) {
    EXPECT_STREQ(error.what(), "Connection Timed out");
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  EXPECT_EQ(recorder.events.back(), "status Disconnected");
  EXPECT_FALSE(recorder.client.Connected());
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"QUIT"}));
}

namespace {

std::string Repeat(const std::string& line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += line;
  return text;
}

}  // namespace

// Every wait of the login arms the timer afresh; TimeOut still bounds the
// login as a whole while the server keeps sending continuation lines.
TEST(FtpClientTest, TimeOutBoundsTheWholeLoginWhileTheServerKeepsSending) {
  constexpr int kLines = 400;  // 20 ms apart: 8 s
  struct Case {
    const char* name;
    const char* line;
    std::function<void(FtpPeerSession&)> before;
  };
  const Case cases[] = {
      {"greeting", "220-more\r\n", [](FtpPeerSession&) {}},
      {"reply to USER", "331-more\r\n",
       [](FtpPeerSession& s) {
         s.Send("220 Hi\r\n");
         s.ReadCommand();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FtpPeer peer([&c](FtpPeerSession& s) {
      c.before(s);
      s.TrickleControl(Repeat(c.line, kLines), std::string(c.line).size(), 20);
    });
    RecordingClient recorder(peer);
    recorder.client.TimeOut = 300;
    try {
      recorder.client.Connect();
      FAIL() << "logged in to a server that never finished a reply";
    } catch (const ESockError& error) {
      EXPECT_STREQ(error.what(), "Connection Timed out");
    }
    const auto lines = std::count(recorder.events.begin(), recorder.events.end(), "status " + std::string(c.line));
    EXPECT_LT(lines, kLines) << "the login waited for every line";
    EXPECT_EQ(recorder.events.back(), "status Disconnected");
    EXPECT_FALSE(recorder.client.Connected());
    EXPECT_EQ(peer.Finish(), "");
  }
}

TEST(FtpClientTest, ReplyPastItsBoundsFailsTheLogin) {
  const std::string huge_line = "230-" + std::string(60000, 'x') + "\r\n";
  struct Case {
    const char* name;
    std::string greeting;
    std::string user_reply;
    const char* expected;  // nullptr: the login passes
  };
  const Case cases[] = {
      {"1000 lines pass", "220 Hi\r\n", Repeat("230-line\r\n", 999) + "230 ok\r\n", nullptr},
      {"1001 lines", "220 Hi\r\n", Repeat("230-line\r\n", 1000) + "230 ok\r\n",
       "Reply to USER stopped: the server sent more than 1000 lines"},
      {"more than 1 MiB", "220 Hi\r\n", Repeat(huge_line, 18) + "230 ok\r\n",
       "Reply to USER stopped: the server sent more than 1 MiB (1048576 bytes)"},
      {"greeting of 1001 lines", Repeat("220-line\r\n", 1000) + "220 Hi\r\n", "",
       "Greeting stopped: the server sent more than 1000 lines"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FtpPeer peer([&c](FtpPeerSession& s) {
      s.Send(c.greeting);
      if (c.user_reply.empty()) return;
      s.Reply(c.user_reply);
      if (c.expected == nullptr) s.Reply("200 Type set\r\n");
    });
    RecordingClient recorder(peer);
    recorder.client.TimeOut = 10000;
    if (c.expected == nullptr) {
      recorder.client.Connect();
      EXPECT_EQ(recorder.events.back(), "OnConnect");
      recorder.client.Disconnect();
    } else {
      try {
        recorder.client.Connect();
        FAIL() << "a reply past its bounds was taken";
      } catch (const EReplyTooLong& error) {
        EXPECT_STREQ(error.what(), c.expected);
      }
      EXPECT_FALSE(recorder.client.Connected());
    }
    EXPECT_EQ(peer.Finish(), "");
  }
}

TEST(FtpClientTest, FirewallAndProxySequences) {
  struct Case {
    const char* name;
    bool authenticate;
    TFirewallType type;
    Lines expected;
  };
  const Case cases[] = {
      {"firewall log-in first", true, FTUser,
       {"USER fwuser", "PASS fwpass", "USER player@target.example", "PASS secret", "TYPE I", "QUIT"}},
      {"proxy, user@host", false, FTUser, {"USER player@target.example", "PASS secret", "TYPE I", "QUIT"}},
      {"proxy, OPEN", false, FtOpen, {"OPEN target.example", "USER player", "PASS secret", "TYPE I", "QUIT"}},
      {"proxy, SITE", false, FtSite, {"SITE target.example", "USER player", "PASS secret", "TYPE I", "QUIT"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FtpPeer peer([](FtpPeerSession& s) {
      s.Send("220 Proxy ready\r\n");
      for (;;) {
        std::string command = s.ReadCommand();
        if (command.empty() || command == "QUIT") {
          s.Send("221 Bye\r\n");
          return;
        }
        s.Send(command.rfind("USER", 0) == 0 ? "331 Password please\r\n" : "230 OK\r\n");
      }
    });
    TFtpClient client;
    client.Host = "target.example";  // named only to the proxy, never resolved
    client.Port = 21;
    client.Proxy = "127.0.0.1";
    client.ProxyPort = peer.port();
    client.UserID = "player";
    client.Password = "secret";
    client.FWAuthenticate = c.authenticate;
    client.FWUserID = "fwuser";
    client.FWPassword = "fwpass";
    client.FirewallType = c.type;
    bool connected = false;
    client.OnConnect = [&] { connected = true; };
    client.Connect();
    EXPECT_TRUE(connected);
    client.Disconnect();
    EXPECT_EQ(peer.Finish(), "");
    EXPECT_EQ(peer.Commands(), c.expected);
  }
}

TEST(FtpClientTest, EmptyCredentialsAskTheHandler) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send("220 Hi\r\n");
    s.Reply("331 Password please\r\n");
    s.Reply("230 Logged in\r\n");
    s.Reply("200 OK\r\n");
  });
  TFtpClient client;
  client.Host = "127.0.0.1";
  client.Port = peer.port();
  client.OnAuthenticationNeeded = [&](bool&) {
    client.UserID = "late";
    client.Password = "filled";
  };
  client.Connect();
  client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"USER late", "PASS filled", "TYPE I", "QUIT"}));
}

TEST(FtpClientTest, MultiLineRepliesAndRefusedQuit) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send("220 Hi\r\n");
    s.Reply("230-Welcome\r\n230-Rules apply\r\n230 Logged in\r\n");
    s.Reply("200 OK\r\n");
    s.Reply("214-Help\r\n follows\r\n214 End\r\n");
    s.Reply("500 No quitting\r\n");
  });
  TFtpClient client;
  client.Host = "127.0.0.1";
  client.Port = peer.port();
  client.UserID = "anonymous";
  client.Connect();
  EXPECT_EQ(client.Transaction("HELP"), "214-Help\r\n");
  EXPECT_EQ(client.ReplyNumber(), 214);
  try {
    client.Disconnect();
    FAIL() << "a refused QUIT passed";
  } catch (const FTPException& error) {
    EXPECT_STREQ(error.what(), "500 No quitting\r\n");
  }
  EXPECT_FALSE(client.Connected());  // closed all the same
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"USER anonymous", "TYPE I", "HELP", "QUIT"}));
}

TEST(FtpClientTest, DestructionClosesWithoutQuit) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send("220 Hi\r\n");
    s.Reply("230 In\r\n");
    s.Reply("200 OK\r\n");
  });
  int disconnects = 0;
  Lines statuses;
  {
    TFtpClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.OnDisconnect = [&] { ++disconnects; };
    client.Connect();
    client.ReportLevel = 8;
    client.OnStatus = [&](const std::string& text) { statuses.push_back(text); };
  }
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"USER ", "TYPE I"}));
  EXPECT_EQ(disconnects, 0);
  // The client's own Abort runs during destruction, and it reports nothing.
  EXPECT_EQ(statuses, (Lines{"Canceling", "Destroy", "Canceling"}));
}
