// Download with Resume against a scripted peer: "REST " before "RETR ", the
// local file continued after "350" and started over after any refusal, and
// the whole file counted either way. (The bound of a continued download:
// ftp_transfer_bounds_test.cc; real servers: ftp_interop_test.cc.)
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <string_view>

#include "ftp/ftp_client.h"
#include "ftp/transfer_client.h"
#include "support/ftp_peer.h"
#include "support/temp_folder.h"

using test_support::FtpPeer;
using test_support::FtpPeerSession;
using test_support::TempFolder;

using ftp_test::Lines;
using ftp_test::Login;
using ftp_test::TransferClient;

namespace {

const std::string kWhole = "0123456789";

// Serves `data` after the opening reply, once the data connection is
// set up (and the reply to "REST " given, when a caller sent one).
void Serve(FtpPeerSession& s, const std::string& data) {
  s.Reply("150 Opening BINARY mode data connection (" + std::to_string(data.size()) + " bytes).\r\n");
  s.OpenData();
  s.SendData(data);
  s.CloseData();
  s.Send("226 Done\r\n");
}

// A client that also records the bytes handed to OnBytesCaptured, the
// status trace, and OnFailure.
struct ResumeClient : TransferClient {
  explicit ResumeClient(const FtpPeer& peer) : TransferClient(peer) {
    client.OnBytesCaptured = [this](std::string_view bytes, const std::shared_ptr<const void>&) {
      captured += bytes;
    };
    client.ReportLevel = 1;
    client.OnStatus = [this](const std::string& text) { statuses.push_back(text); };
    client.OnFailure = [this](bool&, TCmdType) { ++failures; };
  }
  void Clear() {
    events.clear();
    captured.clear();
    statuses.clear();
  }
  bool Reported(const std::string& text) const {
    for (const std::string& status : statuses)
      if (status == text) return true;
    return false;
  }
  std::string captured;
  Lines statuses;
  int failures = 0;
};

}  // namespace

TEST(FtpTransferResumeTest, ContinuesAfter350AndStartsOverAfterAnyRefusal) {
  struct Case {
    const char* name;
    std::string rest_reply;
    bool continued;
    int64_t listed_size;
    std::string start;  // the transfer-start event: the expected size then
  };
  const Case cases[] = {
      // The listed size is the total whatever the server announces.
      {"350, the rest announced", "350 Restarting at 4. Send STORE or RETRIEVE to initiate transfer.\r\n", true, 10,
       "start 10"},
      // Without one, the announcement is all there is.
      {"350, no listed size", "350 Restarting at 4.\r\n", true, -1, "start 6"},
      {"502", "502 Command not implemented.\r\n", false, 10, "start 10"},
      {"500", "500 Unknown command.\r\n", false, 10, "start 10"},
      {"550", "550 Cannot restart here.\r\n", false, 10, "start 10"},
      {"504, two lines", "504-Not in this mode.\r\n504 Really not.\r\n", false, 10, "start 10"},
  };
  FtpPeer peer([&cases](FtpPeerSession& s) {
    Login(s);
    for (const Case& c : cases) {
      s.AnswerDataSetup();
      s.Reply(c.rest_reply);
      Serve(s, c.continued ? kWhole.substr(4) : kWhole);
    }
  });
  ResumeClient recorder(peer);
  Lines commands{"USER anonymous", "TYPE I"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    folder.Write("r.bin", "0123");
    recorder.Clear();
    recorder.client.Download("r.bin", folder.path() + "r.bin", c.listed_size, true);
    EXPECT_EQ(folder.Read("r.bin"), kWhole);
    EXPECT_EQ(recorder.captured, kWhole) << "every byte of the file, in order";
    EXPECT_EQ(recorder.events, (Lines{c.start, "packet 10", "stop", "stop", "success 8"}));
    EXPECT_EQ(recorder.client.BytesTotal, 10);
    EXPECT_EQ(recorder.client.BytesRecvd(), 10);
    EXPECT_EQ(recorder.failures, 0) << "a refused REST is no failure";
    EXPECT_TRUE(recorder.Reported("REST 4"));
    EXPECT_TRUE(recorder.Reported(c.continued ? "Received 6 Bytes" : "Received 10 Bytes"));
    commands.insert(commands.end(), {"PASV", "REST 4", "RETR r.bin"});
  }
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  commands.push_back("QUIT");
  EXPECT_EQ(peer.Commands(), commands);
}

TEST(FtpTransferResumeTest, AsksToContinueOnlyAFilePartlyThere) {
  struct Case {
    const char* name;
    const char* held;  // nullptr: no local file
    int64_t listed_size;
    bool resume;
  };
  const Case cases[] = {
      {"no local file", nullptr, 10, true},
      {"an empty one", "", 10, true},
      {"one of the listed size", "abcdefghij", 10, true},
      {"one past it", "abcdefghijk", 10, true},
      {"no resume asked", "0123", 10, false},
  };
  FtpPeer peer([&cases](FtpPeerSession& s) {
    Login(s);
    for (size_t i = 0; i < std::size(cases); ++i) {
      s.AnswerDataSetup();
      Serve(s, kWhole);
    }
  });
  ResumeClient recorder(peer);
  Lines commands{"USER anonymous", "TYPE I"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    if (c.held != nullptr) folder.Write("r.bin", c.held);
    recorder.Clear();
    recorder.client.Download("r.bin", folder.path() + "r.bin", c.listed_size, c.resume);
    EXPECT_EQ(folder.Read("r.bin"), kWhole) << "started over, truncated";
    EXPECT_EQ(recorder.captured, kWhole);
    EXPECT_EQ(recorder.client.BytesTotal, 10);
    commands.insert(commands.end(), {"PASV", "RETR r.bin"});
  }
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  commands.push_back("QUIT");
  EXPECT_EQ(peer.Commands(), commands) << "no REST";
}

TEST(FtpTransferResumeTest, FailureAfter350CountsTheWholeFile) {
  TempFolder folder;
  folder.Write("r.bin", "0123");
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("350 Restarting at 4.\r\n");
    s.Reply("150 Opening (6 bytes)\r\n");
    s.OpenData();
    s.SendData("45");
    s.Sleep(50);
    s.Send("426 Connection reset; transfer aborted.\r\n");
    s.CloseData(true);
  });
  ResumeClient recorder(peer);
  EXPECT_THROW(recorder.client.Download("r.bin", folder.path() + "r.bin", 10, true), ESockError);
  EXPECT_EQ(folder.Read("r.bin"), "012345") << "what arrived is added to what was there";
  EXPECT_EQ(recorder.client.BytesTotal, 6);
  EXPECT_EQ(recorder.client.BytesRecvd(), 6);
  EXPECT_EQ(recorder.captured, "012345");
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}
