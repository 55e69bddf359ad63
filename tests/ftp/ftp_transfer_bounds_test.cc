// The bounds of a transfer against a scripted peer: a server that goes
// silent (StallTime) or trickles (the reply's deadline, MinRate), a server
// that sends without end (the listed size, kUnlistedTransferLimit), and the
// rate cap (RateLimit).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <regex>

#include "ftp/ftp_client.h"
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

constexpr int32_t kStallTime = 300;

struct StallCase {
  const char* name;
  bool passive;
  bool listing;  // Nlist instead of Download("x.bin", ...)
  // The peer after the login; it leaves the client waiting.
  std::function<void(FtpPeerSession&)> script;
  const char* expected;  // the error's text
};

class FtpStallTest : public ::testing::TestWithParam<StallCase> {};

void PrintTo(const StallCase& c, std::ostream* out) { *out << c.name; }

}  // namespace

TEST_P(FtpStallTest, SilenceEndsTheTransferWithAnErrorNamingIt) {
  const StallCase& stall = GetParam();
  TempFolder folder;
  FtpPeer peer([&stall](FtpPeerSession& s) {
    Login(s);
    stall.script(s);
  });
  TransferClient recorder(peer);
  recorder.client.Passive = stall.passive;
  recorder.client.StallTime = kStallTime;
  int failures = 0;
  recorder.client.OnFailure = [&](bool&, TCmdType type) {
    EXPECT_EQ(type, cmdDownload);
    ++failures;
  };
  try {
    if (stall.listing) {
      recorder.client.Nlist();
    } else {
      recorder.client.Download("x.bin", folder.path() + "x.bin");
    }
    FAIL() << "a silent server let the transfer pass";
  } catch (const EStallError& error) {
    EXPECT_STREQ(error.what(), stall.expected);
  }
  EXPECT_EQ(failures, stall.listing ? 0 : 1);
  EXPECT_EQ(recorder.client.DataConnection(), nullptr);
  EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "success 8"), 0);
  // The connection is still there to be closed; the next run starts afresh.
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands().back(), "QUIT");
}

INSTANTIATE_TEST_SUITE_P(
    Silences, FtpStallTest,
    ::testing::Values(
        StallCase{"NoDataConnectionAfter150", false, false,
                  [](FtpPeerSession& s) {
                    s.AnswerDataSetup();
                    s.Reply("150 Opening (10 bytes)\r\n");
                  },
                  "Data connection timed out: no connection within 0.3 s (RETR x.bin)"},
        StallCase{"DataConnectionOpenedButSilent", true, false,
                  [](FtpPeerSession& s) {
                    s.AnswerDataSetup();
                    s.Reply("150 Opening (10 bytes)\r\n");
                    s.OpenData();
                  },
                  "Data connection timed out: nothing received for 0.3 s (RETR x.bin)"},
        StallCase{"DataStopsFlowing", true, false,
                  [](FtpPeerSession& s) {
                    s.AnswerDataSetup();
                    s.Reply("150 Opening (10 bytes)\r\n");
                    s.OpenData();
                    s.SendData("12345");
                  },
                  "Data connection timed out: nothing received for 0.3 s (RETR x.bin)"},
        StallCase{"NoReplyToRetr", true, false,
                  [](FtpPeerSession& s) {
                    s.AnswerDataSetup();
                    s.ReadCommand();
                  },
                  "Control connection timed out: nothing received for 0.3 s (RETR x.bin)"},
        StallCase{"NoFinalReply", true, false,
                  [](FtpPeerSession& s) {
                    s.AnswerDataSetup();
                    s.Reply("150 Opening (3 bytes)\r\n");
                    s.OpenData();
                    s.SendData("abc");
                    s.CloseData();
                  },
                  "Control connection timed out: nothing received for 0.3 s (RETR x.bin)"},
        StallCase{"ListingWithoutDataConnection", false, true,
                  [](FtpPeerSession& s) {
                    s.AnswerDataSetup();
                    s.Reply("150 Here comes the directory listing.\r\n");
                  },
                  "Data connection timed out: no connection within 0.3 s (NLST)"},
        StallCase{"ListingHeldOpenAndSilent", true, true,
                  [](FtpPeerSession& s) {
                    s.AnswerDataSetup();
                    s.Reply("150 Here comes the directory listing.\r\n");
                    s.OpenData();
                    s.SendData("a.dat\r\n");
                  },
                  "Data connection timed out: nothing received for 0.3 s (NLST)"}),
    [](const ::testing::TestParamInfo<StallCase>& info) { return std::string(info.param.name); });

// A reply that keeps coming, line by line or byte by byte, never leaves a
// gap of StallTime; it must be whole within StallTime all the same.
TEST(FtpTransferBoundsTest, TrickledReplyFailsWithinTheStallTime) {
  std::string lines;
  for (int i = 0; i < 100; ++i) lines += "150-wait\r\n";
  struct Case {
    const char* name;
    std::string reply;
    size_t piece;
  };
  const Case cases[] = {
      {"line by line", lines + "150 Opening (10 bytes)\r\n", 10},
      {"byte by byte", "150 Opening BINARY mode data connection for x.bin (10 bytes)\r\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    FtpPeer peer([&c](FtpPeerSession& s) {
      Login(s);
      s.AnswerDataSetup();
      s.ReadCommand();
      s.TrickleControl(c.reply, c.piece, 50);  // 5 s, or 3 s
    });
    {
      TransferClient recorder(peer);
      recorder.client.StallTime = kStallTime;
      try {
        recorder.client.Download("x.bin", folder.path() + "x.bin");
        FAIL() << "a trickled reply held the transfer";
      } catch (const EStallError& error) {
        EXPECT_STREQ(error.what(), "Control connection timed out: no whole reply within 0.3 s (RETR x.bin)");
      }
    }  // closed without QUIT: the trickle has not ended
    EXPECT_EQ(peer.Finish(), "");
    EXPECT_EQ(peer.Commands().back(), "RETR x.bin");
  }
}

// One byte now and then is no silence, but a transfer that averages less
// than MinRate over twice StallTime fails as a silent one does.
TEST(FtpTransferBoundsTest, TrickleBelowMinRateFails) {
  struct Case {
    const char* name;
    bool listing;
    std::string data;
    size_t piece;
    int delay_ms;
    const char* command;
  };
  std::string names;
  for (int i = 0; i < 100; ++i) names += "a.dat\r\n";
  const Case cases[] = {
      {"download", false, std::string(3000, 't'), 100, 200, "RETR x.bin"},  // 500 bytes/s for 6 s
      {"listing", true, names, 7, 40, "NLST"},                                // 175 bytes/s for 4 s
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    FtpPeer peer([&c](FtpPeerSession& s) {
      Login(s);
      s.AnswerDataSetup();
      s.Reply("150 Opening data connection\r\n");
      s.OpenData();
      s.TrickleData(c.data, c.piece, c.delay_ms);
      s.CloseData();
      s.Send("226 Done\r\n");
    });
    TransferClient recorder(peer);
    recorder.client.StallTime = 1000;  // a window of 2 s
    ASSERT_EQ(recorder.client.MinRate, 1024);
    try {
      if (c.listing) {
        recorder.client.Nlist();
      } else {
        recorder.client.Download("x.bin", folder.path() + "x.bin");
      }
      FAIL() << "a trickle passed";
    } catch (const EStallError& error) {
      std::smatch match;
      const std::string text = error.what();
      ASSERT_TRUE(std::regex_match(text, match,
                                   std::regex(R"(Data connection too slow: (\d+) bytes in 2 s, below MINRATE=1024 \()" +
                                              std::string(c.command) + R"(\))")))
          << text;
      EXPECT_LT(std::stoll(match[1]), 2048);
    }
    recorder.client.Disconnect();
    EXPECT_EQ(peer.Finish(), "");
    EXPECT_EQ(peer.Commands().back(), "QUIT");
  }
}

// Under a cap, the bytes come about as fast as the cap grants them; a
// MinRate above it would fail every capped transfer. A server just under
// the cap leaves the client waiting for data, not for the cap, a sixth of
// the time: 0.6 s here, two windows.
TEST(FtpTransferBoundsTest, MinRateAboveTheCapLetsCappedTransfersPass) {
  TempFolder folder;
  const std::string data(28000, 'c');
  FtpPeer peer([&data](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening data connection\r\n");
    s.OpenData();
    s.TrickleData(data, 350, 50);  // 7000 bytes/s for 4 s, just under the cap
    s.CloseData();
    s.Send("226 Done\r\n");
  });
  TransferClient recorder(peer);
  recorder.client.StallTime = 150;  // a window of 0.3 s
  recorder.client.MinRate = 1000000;
  recorder.client.RateLimit = std::make_shared<RateLimiter>(8192);
  recorder.client.Download("capped.bin", folder.path() + "capped.bin");
  EXPECT_EQ(folder.Read("capped.bin"), data);
  EXPECT_EQ(recorder.events.back(), "success 8");
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(FtpTransferBoundsTest, SlowButFlowingTransferOutlastsTheStallTime) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening (16000 bytes)\r\n");
    s.OpenData();
    // 750 ms in all, each gap a tenth of the stall time.
    for (int i = 0; i < 16; ++i) {
      if (i > 0) s.Sleep(50);
      s.SendData(std::string(1000, static_cast<char>('a' + i)));
    }
    s.CloseData();
    s.Sleep(50);
    s.Send("226 Done\r\n");
  });
  TransferClient recorder(peer);
  recorder.client.StallTime = 500;
  recorder.client.Download("slow.bin", folder.path() + "slow.bin");
  EXPECT_EQ(recorder.client.BytesTotal, 16000);
  EXPECT_EQ(recorder.events.back(), "success 8");
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

// Every byte read is one the limiter granted; what a grant allowed but did
// not arrive goes back. On a clock that stands still, the bucket holds
// exactly what the transfer left of it.
TEST(FtpTransferBoundsTest, CappedTransferReadsOnlyWhatTheLimiterGrants) {
  TempFolder folder;
  const std::string data(4000, 'r');
  FtpPeer peer([&data](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening (4000 bytes)\r\n");
    s.OpenData();
    s.SendData(data.substr(0, 1000));
    s.Sleep(20);
    s.SendData(data.substr(1000));
    s.CloseData();
    s.Send("226 Done\r\n");
  });
  const RateLimiter::Clock::time_point frozen{};
  auto limiter = std::make_shared<RateLimiter>(32768, [frozen] { return frozen; });  // a burst of 4096
  TransferClient recorder(peer);
  recorder.client.RateLimit = limiter;
  recorder.client.Download("capped.bin", folder.path() + "capped.bin", 4000);
  EXPECT_EQ(folder.Read("capped.bin"), data);
  EXPECT_EQ(recorder.events.back(), "success 8");
  RateLimiter::Reader probe(*limiter);
  // The bucket lost exactly the bytes that arrived.
  EXPECT_EQ(probe.Take(97).bytes, 0u);
  EXPECT_EQ(probe.Take(96).bytes, 96u);
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

// While the cap holds the data back the peer is not silent: a wait for the
// limiter longer than StallTime does not end the transfer.
TEST(FtpTransferBoundsTest, WaitingForTheCapIsNoStall) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening data connection\r\n");
    s.OpenData();
    s.SendData(std::string(4096, 'a'));
    // The client waits about a second for the cap, then a little for this.
    s.Sleep(1200);
    s.SendData(std::string(100, 'b'));
    s.CloseData();
    s.Send("226 Done\r\n");
  });
  TransferClient recorder(peer);
  recorder.client.StallTime = 500;
  recorder.client.RateLimit = std::make_shared<RateLimiter>(4096);
  recorder.client.Download("capped.bin", folder.path() + "capped.bin");
  EXPECT_EQ(folder.Read("capped.bin"), std::string(4096, 'a') + std::string(100, 'b'));
  EXPECT_EQ(recorder.events.back(), "success 8");
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(FtpTransferBoundsTest, EndlessDataStopsPastTheBoundAndTheConnectionStaysInStep) {
  struct Case {
    const char* name;
    int64_t listed_size;
    int64_t bound;
    const char* expected;
    int64_t held;  // bytes of the local file continued with REST; 0 = a fresh download
  };
  const Case cases[] = {
      {"listed size", 1000, 1000,
       "Download of endless.bin stopped: the server sent more than the 1000 bytes listed for it", 0},
      {"no listed size", -1, kUnlistedTransferLimit,
       "Download of endless.bin stopped: the server sent more than 64 MiB (67108864 bytes), the limit for a file "
       "without a listed size", 0},
      // The bound is the whole file's, the bytes continued included.
      {"continued at 400 of 1000", 1000, 1000,
       "Download of endless.bin stopped: the server sent more than the 1000 bytes listed for it", 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    if (c.held > 0) folder.Write("endless.bin", std::string(static_cast<size_t>(c.held), 'h'));
    FtpPeer peer([&c](FtpPeerSession& s) {
      Login(s);
      s.AnswerDataSetup();
      if (c.held > 0) s.Reply("350 Restarting.\r\n");
      s.Reply("150 Opening BINARY mode data connection for endless.bin.\r\n");
      s.OpenData();
      s.SendDataUntilClosed(std::string(65536, 'z'));
      s.Send("426 Connection closed; transfer aborted.\r\n");
      EXPECT_EQ(s.Reply("226 ABOR command successful.\r\n"), "ABOR");
      s.AnswerDataSetup();
      s.Reply("150 Opening (3 bytes)\r\n");
      s.OpenData();
      s.SendData("abc");
      s.CloseData();
      s.Send("226 Done\r\n");
    });
    TransferClient recorder(peer);
    int failures = 0;
    recorder.client.OnFailure = [&](bool&, TCmdType type) {
      EXPECT_EQ(type, cmdDownload);
      ++failures;
    };
    try {
      recorder.client.Download("endless.bin", folder.path() + "endless.bin", c.listed_size, c.held > 0);
      FAIL() << "endless data passed";
    } catch (const ETransferLimit& error) {
      EXPECT_STREQ(error.what(), c.expected);
    }
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(recorder.client.BytesTotal, c.bound + 1);
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(folder.path() + "endless.bin")), c.bound + 1);
    // Only a continued file is read back: the 64 MiB one takes seconds to
    // read in a sanitized build, while the peer waits for the next command.
    if (c.held > 0) {
      EXPECT_EQ(folder.Read("endless.bin").substr(0, static_cast<size_t>(c.held)),
                std::string(static_cast<size_t>(c.held), 'h'));
    }

    recorder.events.clear();
    recorder.client.Download("next.bin", folder.path() + "next.bin");
    EXPECT_EQ(folder.Read("next.bin"), "abc");
    EXPECT_EQ(recorder.events, (Lines{"start 3", "packet 3", "stop", "stop", "success 8"}));
    recorder.client.Disconnect();
    EXPECT_EQ(peer.Finish(), "");
    Lines commands{"USER anonymous", "TYPE I", "PASV", "RETR endless.bin", "ABOR", "PASV", "RETR next.bin", "QUIT"};
    if (c.held > 0) commands.insert(commands.begin() + 3, "REST " + std::to_string(c.held));
    EXPECT_EQ(peer.Commands(), commands);
  }
}

TEST(FtpTransferBoundsTest, ExactlyTheListedSizePasses) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening (1000 bytes)\r\n");
    s.OpenData();
    s.SendData(std::string(1000, 'e'));
    s.CloseData();
    s.Send("226 Done\r\n");
  });
  TransferClient recorder(peer);
  recorder.client.Download("exact.bin", folder.path() + "exact.bin", 1000);
  EXPECT_EQ(recorder.client.BytesTotal, 1000);
  EXPECT_EQ(recorder.events.back(), "success 8");
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(FtpTransferBoundsTest, EndlessListingStopsPastTheBound) {
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Here comes the directory listing.\r\n");
    s.OpenData();
    s.SendDataUntilClosed(std::string(60000, 'n') + "\r\n");
    s.Send("426 Connection closed; transfer aborted.\r\n");
    EXPECT_EQ(s.Reply("226 ABOR command successful.\r\n"), "ABOR");
    s.AnswerDataSetup();
    s.Reply("150 Here comes the directory listing.\r\n");
    s.OpenData();
    s.SendData("update3.dat\r\n");
    s.CloseData();
    s.Send("226 Directory send OK.\r\n");
  });
  TransferClient recorder(peer);
  int64_t listed = 0;
  recorder.client.OnListItem = [&](const std::string& item) { listed += static_cast<int64_t>(item.size()) + 2; };
  try {
    recorder.client.Nlist();
    FAIL() << "an endless listing passed";
  } catch (const ETransferLimit& error) {
    EXPECT_STREQ(error.what(),
                 "Listing stopped: the server sent more than 64 MiB (67108864 bytes), the limit for a listing");
  }
  EXPECT_LE(listed, kUnlistedTransferLimit);
  EXPECT_GT(listed, kUnlistedTransferLimit - 60002);
  recorder.events.clear();
  recorder.client.OnListItem = [&](const std::string& item) { recorder.events.push_back("item " + item); };
  recorder.client.Nlist();
  EXPECT_EQ(recorder.events, (Lines{"start 0", "item update3.dat", "stop", "success 13"}));
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}
