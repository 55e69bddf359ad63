// TStreamSocket against a scripted peer on loopback: line reading across
// segments, replies, name lookup, connect failures and timeouts, capture.
#include "ftp/stream_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "platform/socket_errors.h"
#include "support/ftp_peer.h"
#include "support/loopback_listeners.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

using test_support::FtpPeer;
using test_support::FtpPeerSession;

namespace {

void ConnectTo(TStreamSocket& socket, const FtpPeer& peer) {
  socket.Host = "127.0.0.1";
  socket.Port = peer.port();
  socket.Connect();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Captures what the peer sends into `path`, unbounded and without a sink.
bool CaptureInto(TStreamSocket& socket, const std::string& path) {
  DownloadTarget target(path, -1, 0, {});
  return socket.CaptureFile(target);
}

}  // namespace

TEST(StreamSocketTest, ErrorMessagesAndPortTexts) {
  TStreamSocket socket;
  EXPECT_EQ(socket.ErrorMessage(10061), "10061:Connection refused");
  EXPECT_EQ(socket.ErrorMessage(11001), "11001:Host not found");
  EXPECT_EQ(socket.ErrorMessage(11004), "11004:Valid name, no data record of requested type");
  EXPECT_EQ(socket.ErrorMessage(12345), "Unknown Error No. 12345");
  EXPECT_EQ(socket.ErrorMessage(0), "");

  socket.Port = 0;
  socket.Listen(false);
  std::string suffix = socket.PortSuffix();
  int high = 0, low = 0;
  ASSERT_EQ(std::sscanf(suffix.c_str(), ",%d,%d", &high, &low), 2) << suffix;
  EXPECT_GT(high * 256 + low, 0);
  EXPECT_LT(low, 256);
}

TEST(StreamSocketTest, ReadLnTakesExactlyOneLineAtATime) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send("220-a\r\n220 b\r\n");  // two lines in one segment
    s.ReadCommand();
    s.SendPieces({"12", "3 split", " over segments\r", "\nnext\n"}, 30);
    s.ReadCommand();
    s.Send("tail without end");
    s.CloseControl();
  });
  TStreamSocket socket;
  ConnectTo(socket, peer);
  EXPECT_TRUE(socket.Connected());
  EXPECT_EQ(socket.ReadLn(), "220-a\r\n");
  EXPECT_EQ(socket.ReadLn(), "220 b\r\n");
  socket.Writeln("GO");
  EXPECT_EQ(socket.ReadLn(), "123 split over segments\r\n");
  EXPECT_EQ(socket.ReadLn(), "next\n");
  socket.Writeln("MORE");
  // The peer closes after an unfinished line: it is returned as it came.
  EXPECT_EQ(socket.ReadLn(), "tail without end");
  EXPECT_EQ(socket.ReadLn(), "");
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (std::vector<std::string>{"GO", "MORE"}));
}

TEST(StreamSocketTest, PeerClosingBeforeAnyByteGivesAnEmptyLine) {
  FtpPeer peer([](FtpPeerSession& s) { s.CloseControl(); });
  TStreamSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLn(), "");
  EXPECT_EQ(peer.Finish(), "");
}

TEST(StreamSocketTest, LineLongerThanTheBufferFailsInsteadOfOverrunning) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send(std::string(TStreamSocket::kBufferSize + 10, 'x') + "\r\n");
    s.ReadCommand();
  });
  TStreamSocket socket;
  ConnectTo(socket, peer);
  try {
    socket.ReadLn();
    FAIL() << "a line without an end within the buffer was accepted";
  } catch (const ESockError& error) {
    EXPECT_NE(std::string(error.what()).find("too long"), std::string::npos) << error.what();
  }
  socket.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(StreamSocketTest, TransactionReplyNumber) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Reply("150 Opening\r\n");
    s.Reply("no number\r\n");
    s.Reply("99999999999 huge\r\n");
    s.CloseControl();
  });
  TStreamSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.Transaction("RETR x"), "150 Opening\r\n");
  EXPECT_EQ(socket.ReplyNumber(), 150);
  EXPECT_EQ(socket.TransactionReply(), "150 Opening\r\n");
  socket.Transaction("NOOP");
  EXPECT_EQ(socket.ReplyNumber(), 0);
  socket.Transaction("NOOP");
  EXPECT_EQ(socket.ReplyNumber(), 32767);
  EXPECT_EQ(socket.Transaction("NOOP"), "");
  EXPECT_EQ(socket.ReplyNumber(), 0);
  EXPECT_EQ(peer.Finish(), "");
}

TEST(StreamSocketTest, StatusTextsFollowTheirLevels) {
  struct Case {
    int level;
    std::vector<std::string> connect, transaction, destruction;
  };
  const Case cases[] = {
      {1, {}, {"200 OK\r\n"}, {}},
      {4, {}, {"Sending Buffer", "200 OK\r\n"}, {}},
      {8,
       {"Connecting", "Resolve Host", "Timer On", "Timer Off"},
       {"Transaction", "Writeln", "Write", "Sending Buffer", "Timer On", "Timer Off", "ReadLn", "Timer On",
        "Timer Off", "200 OK\r\n"},
       // Closing the socket is reported at level 4, but not while being destroyed.
       {"Destroy", "Abort", "Canceling", "Canceling"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("ReportLevel " + std::to_string(c.level));
    FtpPeer peer([](FtpPeerSession& s) { s.Reply("200 OK\r\n"); });
    std::vector<std::string> statuses;
    auto socket = std::make_unique<TStreamSocket>();
    socket->ReportLevel = c.level;
    socket->OnStatus = [&](const std::string& text) { statuses.push_back(text); };
    ConnectTo(*socket, peer);
    EXPECT_EQ(statuses, c.connect);
    statuses.clear();
    socket->Transaction("NOOP");
    EXPECT_EQ(statuses, c.transaction);
    statuses.clear();
    socket.reset();
    EXPECT_EQ(statuses, c.destruction);
    EXPECT_EQ(peer.Finish(), "");
  }
}

TEST(StreamSocketTest, NamesResolveWithAnEventDottedAddressesWithout) {
  FtpPeer first([](FtpPeerSession& s) { s.CloseControl(); });
  int resolved = 0;
  {
    SCOPED_TRACE("dotted address");
    TStreamSocket socket;
    socket.OnHostResolved = [&] { ++resolved; };
    ConnectTo(socket, first);
    EXPECT_EQ(resolved, 0);
  }
  const test_support::LoopbackListener ipv6(true);
  for (const char* host : {"::1", "[::1]"}) {
    SCOPED_TRACE(host);
    TStreamSocket socket;
    socket.OnHostResolved = [&] { ++resolved; };
    socket.Host = host;
    socket.Port = ipv6.port();
    socket.Connect();
    EXPECT_EQ(resolved, 0);
    EXPECT_TRUE(socket.Connected());
    EXPECT_EQ(socket.PeerAddress(), "::1");
    EXPECT_TRUE(socket.PeerIsIpv6());
  }
  FtpPeer second([](FtpPeerSession& s) { s.ReadCommand(); });  // stays until the client closes
  {
    SCOPED_TRACE("name");
    TStreamSocket socket;
    socket.OnHostResolved = [&] { ++resolved; };
    socket.Host = "localhost";
    socket.Port = second.port();
    socket.Connect();
    EXPECT_EQ(resolved, 1);
    EXPECT_TRUE(socket.Connected());
  }
  EXPECT_EQ(first.Finish(), "");
  EXPECT_EQ(second.Finish(), "");
}

// A name with addresses of both families whose first does not answer (a
// network without that family): the next one gets its turn after a head
// start, long before the time-out that ends a connect going nowhere.
TEST(StreamSocketTest, NameOfBothFamiliesConnectsPastAnUnansweredFirstAddress) {
  FtpPeer peer([](FtpPeerSession& s) { s.ReadCommand(); });  // stays until the client closes
  const test_support::UnansweredPort unanswered(true, peer.port());
  platform::HostResolver system = platform::ReplaceHostResolver(
      [](const std::string& name, std::vector<platform::IpAddress>& found) {
        if (name != "both.example") return platform::kWsaHostNotFound;
        for (const char* text : {"::1", "127.0.0.1"}) {
          found.emplace_back();
          platform::ParseNumericAddress(text, found.back());
        }
        return 0;
      });
  {
    TStreamSocket socket;
    int resolved = 0;
    socket.OnHostResolved = [&] { ++resolved; };
    socket.Host = "both.example";
    socket.Port = peer.port();
    socket.TimeOut = 5000;
    socket.Connect();
    EXPECT_EQ(resolved, 1);
    EXPECT_TRUE(socket.Connected());
    EXPECT_EQ(socket.PeerAddress(), "127.0.0.1");
    EXPECT_FALSE(socket.PeerIsIpv6());
    socket.Writeln("HELLO");
  }
  platform::ReplaceHostResolver(system);
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), std::vector<std::string>{"HELLO"});
}

TEST(StreamSocketTest, UnresolvedNameGetsOneRetryThroughOnInvalidHost) {
  FtpPeer peer([](FtpPeerSession& s) { s.ReadCommand(); });  // stays until the client closes
  {
    SCOPED_TRACE("handler fixes the host");
    TStreamSocket socket;
    socket.Host = "no such host";
    socket.Port = peer.port();
    int asked = 0;
    socket.OnInvalidHost = [&](bool& handled) {
      ++asked;
      socket.Host = "127.0.0.1";
      handled = true;
    };
    socket.Connect();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(socket.Connected());
  }
  {
    SCOPED_TRACE("second failure");
    TStreamSocket socket;
    socket.Host = "still no such host";
    socket.Port = peer.port();
    int asked = 0;
    socket.OnInvalidHost = [&](bool& handled) {
      ++asked;
      handled = true;
    };
    try {
      socket.Connect();
      FAIL() << "connected to a name that does not resolve";
    } catch (const ESockError& error) {
      EXPECT_STREQ(error.what(), "Null Remote Address");
    }
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(socket.LastErrorNo(), 0);  // no socket call failed
  }
  EXPECT_EQ(peer.Finish(), "");
}

TEST(StreamSocketTest, RefusedConnectionReportsTheWinsockNumber) {
  int port;
  {
    FtpPeer closed([](FtpPeerSession&) {});
    port = closed.port();
  }  // nobody listens there any more
  TStreamSocket socket;
  socket.Host = "127.0.0.1";
  socket.Port = port;
  int failed = 0;
  std::vector<unsigned short> errors;
  socket.OnConnectionFailed = [&] { ++failed; };
  socket.OnError = [&](unsigned short number, const std::string&) { errors.push_back(number); };
  std::string text;
  try {
    socket.Connect();
  } catch (const ESockError& error) {
    text = error.what();
  }
  // Refusal comes either at once (the socket error) or as a failed connect
  // notification; both are reported.
  EXPECT_TRUE(text == "10061:Connection refused" || (text == "Connection Failed" && failed == 1)) << text;
  if (!errors.empty()) {
    EXPECT_EQ(errors[0], 10061);
  }
}

TEST(StreamSocketTest, SilentConnectEndsAfterTimeOut) {
  // A listener whose backlog is full drops further handshakes.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  socklen_t length = sizeof(address);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::vector<std::unique_ptr<TStreamSocket>> fillers;
  for (int i = 0; i < 1; ++i) {
    fillers.push_back(std::make_unique<TStreamSocket>());
    fillers.back()->Host = "127.0.0.1";
    fillers.back()->Port = ntohs(address.sin_port);
    fillers.back()->Connect();
  }
  TStreamSocket socket;
  socket.Host = "127.0.0.1";
  socket.Port = ntohs(address.sin_port);
  socket.TimeOut = 300;
  int failed = 0;
  socket.OnConnectionFailed = [&] { ++failed; };
  try {
    socket.Connect();
    FAIL() << "connected past a full backlog";
  } catch (const ESockError& error) {
    EXPECT_STREQ(error.what(), "Connection Timed out");
  }
  EXPECT_EQ(failed, 1);
  EXPECT_TRUE(socket.TimedOut());
  close(listener);
}

TEST(StreamSocketTest, ReconnectsAfterDisconnectWithOneEventPerClose) {
  FtpPeer first([](FtpPeerSession& s) { s.Reply("one\r\n"); });
  FtpPeer second([](FtpPeerSession& s) { s.Reply("two\r\n"); });
  int disconnects = 0;
  {
    TStreamSocket socket;
    socket.OnDisconnect = [&] { ++disconnects; };
    ConnectTo(socket, first);
    EXPECT_EQ(socket.Transaction("A"), "one\r\n");
    socket.Disconnect();
    EXPECT_FALSE(socket.Connected());
    EXPECT_EQ(disconnects, 1);
    ConnectTo(socket, second);
    EXPECT_EQ(socket.Transaction("B"), "two\r\n");
  }  // destruction closes without the event
  EXPECT_EQ(disconnects, 1);
  EXPECT_EQ(first.Finish(), "");
  EXPECT_EQ(second.Finish(), "");
}

TEST(StreamSocketTest, PeerCloseIsNoticedWhileIdle) {
  FtpPeer peer([](FtpPeerSession& s) { s.CloseControl(); });
  TStreamSocket socket;
  int disconnects = 0;
  socket.OnDisconnect = [&] { ++disconnects; };
  ConnectTo(socket, peer);
  EXPECT_TRUE(test_support::WaitUntil([&] { return !socket.Connected(); }, "the peer's close noticed"));
  EXPECT_EQ(disconnects, 1);
  EXPECT_EQ(peer.Finish(), "");
}

// A data connection keeps no socket once closed; reading it then finds the
// end of the stream, as a fresh unconnected socket would.
TEST(StreamSocketTest, SocketNotReopenedReadsAsClosedOnceThePeerLeft) {
  test_support::TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) { s.CloseControl(); });
  TStreamSocket socket;
  socket.ReopenAfterClose = false;
  int disconnects = 0;
  socket.OnDisconnect = [&] { ++disconnects; };
  ConnectTo(socket, peer);
  ASSERT_TRUE(test_support::WaitUntil([&] { return !socket.Connected(); }, "the peer's close noticed"));
  EXPECT_EQ(disconnects, 1);
  EXPECT_FALSE(socket.DataAvailable());
  EXPECT_EQ(socket.ReadLn(), "");
  EXPECT_TRUE(CaptureInto(socket, folder.path() + "after.bin"));
  EXPECT_EQ(folder.Read("after.bin"), "");
  EXPECT_EQ(socket.BytesRecvd(), 0);
  EXPECT_EQ(peer.Finish(), "");
}

TEST(StreamSocketTest, UnreadDataDoNotKeepTheLoopBusy) {
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send("220 nobody reads this yet\r\n");
    s.ReadCommand();
  });
  TStreamSocket socket;
  ConnectTo(socket, peer);
  // The read notification comes once; a loop that woke for the pending
  // bytes on every pass would run far more than once per 2 ms.
  int passes = 0;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (std::chrono::steady_clock::now() < end) {
    platform::WaitForEvent(2);
    ++passes;
  }
  EXPECT_LT(passes, 150) << "the loop kept waking for data nobody read";
  EXPECT_EQ(socket.ReadLn(), "220 nobody reads this yet\r\n");
  socket.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(StreamSocketTest, CaptureWaitsForDataWithoutSpinning) {
  test_support::TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    s.Send("first block,");
    s.Sleep(600);  // the capture has nothing to read meanwhile
    s.Send("second block");
    s.CloseControl();
  });
  TStreamSocket socket;
  int packets = 0;
  socket.OnPacketRecvd = [&] { ++packets; };
  ConnectTo(socket, peer);
  double cpu_before = CpuSeconds();
  EXPECT_TRUE(CaptureInto(socket, folder.path() + "capture.bin"));
  double cpu_used = CpuSeconds() - cpu_before;
  EXPECT_EQ(folder.Read("capture.bin"), "first block,second block");
  EXPECT_EQ(socket.BytesRecvd(), 24);
  EXPECT_EQ(packets, 2);
  // A busy loop would burn the whole 600 ms.
  EXPECT_LT(cpu_used, 0.2) << "the capture spun while no data was pending";
  EXPECT_EQ(peer.Finish(), "");
}

TEST(StreamSocketTest, CancelEndsReadsWithAbortErrors) {
  test_support::TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    s.ReadCommand();
    s.ReadCommand();
  });
  TStreamSocket socket;
  ConnectTo(socket, peer);
  platform::Timer cancel;
  cancel.Start(50, [&] { socket.Cancel(); });
  EXPECT_THROW(
      {
        try {
          socket.ReadLn();
        } catch (const EAbortError& error) {
          EXPECT_STREQ(error.what(), "Socket readln aborted");
          throw;
        }
      },
      EAbortError);
  EXPECT_FALSE(socket.Canceled());
  EXPECT_THROW(
      {
        try {
          (void)CaptureInto(socket, folder.path() + "never.bin");
        } catch (const EAbortError& error) {
          EXPECT_STREQ(error.what(), "Socket send aborted");
          throw;
        }
      },
      EAbortError);
  cancel.Stop();
  socket.Writeln("A");
  socket.Writeln("B");
  socket.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}
