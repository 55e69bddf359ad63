// The FTP transport says through DownloadFailure how a download failed,
// whichever exception the client met: the engine decides by that alone
// what the bytes that arrived are worth. A whole download starts and stops
// once, as every transport's does.
#include "ftp/ftp_transport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "ftp/transfer_client.h"
#include "support/ftp_peer.h"
#include "support/temp_folder.h"

using test_support::FtpPeer;
using test_support::FtpPeerSession;

namespace {

class QuietEvents : public TransportEvents {
 public:
  void HostResolved() override {}
  void InvalidHost() override {}
  void Connected() override {}
  void ConnectionFailed() override {}
  void Disconnected() override {}
  void Status(const std::string&) override {}
  void Error(unsigned short, const std::string&) override {}
  void TransferStarted() override { ++starts; }
  void TransferStopped() override { ++stops; }
  void BytesArrived() override {}
  void TransferFailed(TransferCommand) override { ++failures; }
  void NameListed(const std::string&) override {}
  int failures = 0;
  int starts = 0;
  int stops = 0;
};

TEST(FtpTransportTest, AWholeDownloadStartsAndStopsOnce) {
  test_support::TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    ftp_test::Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening BINARY mode data connection.\r\n");
    s.OpenData();
    s.SendData("abc");
    s.CloseData();
    s.Send("226 Done\r\n");
  });
  QuietEvents events;
  std::unique_ptr<Transport> transport = FtpTransportFactory()(events, NetworkSettings{});
  transport->Connect({"127.0.0.1", peer.port(), 5000, "anonymous", ""});
  transport->Download("x.bin", folder.path() + "x.bin", 3, {}, false);
  EXPECT_EQ(events.starts, 1);
  EXPECT_EQ(events.stops, 1);
  transport.reset();
  EXPECT_EQ(peer.Finish(), "");
}

struct FailureCase {
  const char* name;
  std::function<void(FtpPeerSession&)> script;  // after the login
  const char* local;                            // under the test folder
  DownloadFailure expected;
  const char* text;  // what the error's text holds
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class FtpDownloadFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FtpDownloadFailureTest, TheFailureSaysWhatTheArrivedBytesAreWorth) {
  const FailureCase& c = GetParam();
  test_support::TempFolder folder;
  FtpPeer peer([&c](FtpPeerSession& s) {
    ftp_test::Login(s);
    s.AnswerDataSetup();
    c.script(s);
  });
  QuietEvents events;
  std::unique_ptr<Transport> transport = FtpTransportFactory()(events, NetworkSettings{});
  transport->Connect({"127.0.0.1", peer.port(), 5000, "anonymous", ""});
  try {
    transport->Download("x.bin", folder.path() + c.local, 10, {}, false);
    ADD_FAILURE() << "the download passed";
  } catch (const EDownloadError& error) {
    EXPECT_EQ(error.Failure(), c.expected);
    EXPECT_NE(std::string(error.what()).find(c.text), std::string::npos) << error.what();
  }
  EXPECT_GE(events.failures, 1) << "TransferFailed comes first";
  EXPECT_EQ(transport->ReceivedFile(), std::nullopt);
  transport.reset();  // closes without "QUIT": the script has ended
  EXPECT_EQ(peer.Finish(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FtpDownloadFailureTest,
    ::testing::Values(
        FailureCase{"Refused", [](FtpPeerSession& s) { s.Reply("550 No such file.\r\n"); }, "x.bin",
                    DownloadFailure::kRefused, "550 No such file."},
        FailureCase{"Overrun",
                    [](FtpPeerSession& s) {
                      s.Reply("150 Opening BINARY mode data connection.\r\n");
                      s.OpenData();
                      s.SendDataUntilClosed(std::string(65536, 'z'));
                      s.Send("426 Connection closed; transfer aborted.\r\n");
                      s.Reply("226 ABOR command successful.\r\n");
                    },
                    "x.bin", DownloadFailure::kOverrun, "more than the 10 bytes listed"},
        FailureCase{"CutOff",
                    [](FtpPeerSession& s) {
                      s.Reply("150 Opening BINARY mode data connection.\r\n");
                      s.OpenData();
                      s.SendData("abc");
                      s.CloseData(true);
                      s.Send("426 Connection reset.\r\n");
                    },
                    "x.bin", DownloadFailure::kCutOff, "reset"},
        FailureCase{"Local",
                    [](FtpPeerSession& s) {
                      s.Reply("150 Opening BINARY mode data connection.\r\n");
                      s.OpenData();
                      s.WaitDataClosed();
                      s.Send("426 Connection closed.\r\n");
                    },
                    "no/such/folder/x.bin", DownloadFailure::kLocal, "Cannot create file"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

}  // namespace
