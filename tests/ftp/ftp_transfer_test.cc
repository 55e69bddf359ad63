// Download and Nlist against a scripted peer: sizes in replies, events in
// order, refusals, TimeOut, resets and cancellation. (How the data
// connection is made: ftp_data_connection_test.cc; stalls and size bounds:
// ftp_transfer_bounds_test.cc.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

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

TEST(FtpTransferTest, ParseByteCount) {
  EXPECT_EQ(ParseByteCount("150 Opening BINARY mode data connection for x (123456 bytes).\r\n"), 123456);
  EXPECT_EQ(ParseByteCount("150 Here it comes.\r\n"), 0);
  EXPECT_EQ(ParseByteCount("150 bytes follow\r\n"), 150);  // the reply code is the nearest number
  EXPECT_EQ(ParseByteCount("150 7 Byte; later 9 bytes\r\n"), 7);
  EXPECT_EQ(ParseByteCount("BYTES"), 0);
  EXPECT_EQ(ParseByteCount("150 (99999999999999999999999 bytes)"), 0);
  EXPECT_EQ(ParseByteCount("150 (4294967296 bytes)"), 4294967296);
}

TEST(FtpTransferTest, SizeFromMultiLineMissingOrListed) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.ReadCommand();  // RETR
    s.Send("150-Opening (77 bytes)\r\n150 Go\r\n");
    s.OpenData();
    s.SendData("0123456789");
    s.CloseData();
    s.Send("226-Done\r\n226 Really\r\n");
    s.AnswerDataSetup();
    s.ReadCommand();  // RETR
    s.Send("125 Data connection already open; transfer starting.\r\n");
    s.OpenData();
    s.CloseData();
    s.Send("226 Done\r\n");
    for (const char* announced : {"150 Here it comes.\r\n", "150 Opening (12 bytes).\r\n"}) {
      s.AnswerDataSetup();
      s.Reply(announced);
      s.OpenData();
      s.SendData("0123456789");
      s.CloseData();
      s.Send("226 Done\r\n");
    }
  });
  TransferClient recorder(peer);
  recorder.client.Download("ten.bin", folder.path() + "ten.bin");
  // The size of a multi-line reply is taken from its last line.
  EXPECT_EQ(recorder.events.front(), "start 0");
  EXPECT_EQ(folder.Read("ten.bin"), "0123456789");
  recorder.events.clear();
  recorder.client.Download("empty.bin", folder.path() + "empty.bin");
  EXPECT_EQ(recorder.events, (Lines{"start 0", "stop", "stop", "success 8"}));
  EXPECT_EQ(folder.Read("empty.bin"), "");
  {
    SCOPED_TRACE("no size announced: the listed size is the total");
    recorder.events.clear();
    recorder.client.Download("listed.bin", folder.path() + "listed.bin", 10);
    EXPECT_EQ(recorder.events, (Lines{"start 10", "packet 10", "stop", "stop", "success 8"}));
    EXPECT_EQ(recorder.client.BytesTotal, 10);  // after the transfer: what arrived
  }
  {
    SCOPED_TRACE("a size announced wins over the listed one");
    recorder.events.clear();
    recorder.client.Download("listed.bin", folder.path() + "listed.bin", 10);
    EXPECT_EQ(recorder.events.front(), "start 12");
    EXPECT_EQ(recorder.client.BytesTotal, 10);
  }
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"USER anonymous", "TYPE I", "PASV", "RETR ten.bin", "PASV", "RETR empty.bin",
                                    "PASV", "RETR listed.bin", "PASV", "RETR listed.bin", "QUIT"}));
}

TEST(FtpTransferTest, RefusedRetrCallsOnFailureTwiceAndCreatesNoFile) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("550 No such file.\r\n");
    s.AnswerDataSetup();
    s.Reply("550 No such file.\r\n");
  });
  TransferClient recorder(peer);
  {
    SCOPED_TRACE("handler leaves Handled false");
    int failures = 0;
    recorder.client.OnFailure = [&](bool&, TCmdType type) {
      EXPECT_EQ(type, cmdDownload);
      ++failures;
    };
    try {
      recorder.client.Download("missing.bin", folder.path() + "missing.bin");
      FAIL() << "a refused RETR passed";
    } catch (const FTPException& error) {
      EXPECT_STREQ(error.what(), "550 No such file.\r\n");
    }
    EXPECT_EQ(failures, 2);
  }
  {
    SCOPED_TRACE("handler sets Handled");
    int failures = 0;
    recorder.client.OnFailure = [&](bool& handled, TCmdType) {
      ++failures;
      handled = true;
    };
    recorder.events.clear();
    recorder.client.Download("missing.bin", folder.path() + "missing.bin");
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(recorder.events.empty());  // no OnSuccess either
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path() + "missing.bin"));
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(FtpTransferTest, EmptyLocalNameWritesUnderTheRemoteName) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening (3 bytes)\r\n");
    s.OpenData();
    s.SendData("abc");
    s.CloseData();
    s.Send("226 Done\r\n");
  });
  TransferClient recorder(peer);
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  recorder.client.Download("remote.txt", "");
  std::filesystem::current_path(previous);
  EXPECT_EQ(folder.Read("remote.txt"), "abc");
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(FtpTransferTest, StalledDataEndsAfterTimeOutAndResetIsAnError) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening (10 bytes)\r\n");
    s.OpenData();
    s.SendData("12345");
    // The client gives up: ABOR is not sent, the next PASV comes.
    EXPECT_EQ(s.ReadCommand(), "PASV");
    s.CloseData(true);
    s.ReplyPasv();
    s.Reply("150 Opening (2000 bytes)\r\n");
    s.OpenData();
    s.SendData(std::string(1000, 'x'));
    s.Sleep(50);
    // The reply goes first, so it is pending (and discarded) when the
    // client next talks to the server.
    s.Send("426 Connection closed; transfer aborted.\r\n");
    s.CloseData(true);  // reset mid-transfer
  });
  TransferClient recorder(peer);
  recorder.client.TimeOut = 300;
  std::vector<std::string> failures;
  recorder.client.OnFailure = [&](bool&, TCmdType) { failures.push_back("failure"); };
  std::vector<unsigned short> errors;
  recorder.client.OnError = [&](unsigned short number, const std::string&) { errors.push_back(number); };
  auto start = std::chrono::steady_clock::now();
  try {
    recorder.client.Download("slow.bin", folder.path() + "slow.bin");
    FAIL() << "a stalled transfer passed";
  } catch (const EAbortError& error) {
    EXPECT_STREQ(error.what(), "Socket send aborted");
  }
  // TimeOut, then at most about a second for a final reply this peer never sends.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
  EXPECT_EQ(failures.size(), 1u);
  EXPECT_EQ(folder.Read("slow.bin"), "12345");

  // The data connection of a transfer has its own socket: the reset of the
  // second one must fail the download, not pass for a short file.
  try {
    recorder.client.Download("reset.bin", folder.path() + "reset.bin");
    FAIL() << "a reset transfer passed";
  } catch (const ESockError& error) {
    EXPECT_STREQ(error.what(), "10054:Connection reset by peer");
  }
  // The data connection's errors are its own: the client's OnError stays quiet.
  EXPECT_TRUE(errors.empty());
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(FtpTransferTest, FailedCaptureReadsTheOwedReplySoTheNextDownloadWorks) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening (5 bytes)\r\n");
    s.OpenData();
    // Like a real server, the final reply comes only once the client has
    // dropped the data connection, and a little late.
    s.WaitDataClosed();
    s.Sleep(150);
    s.Send("426 Connection closed; transfer aborted.\r\n");
    s.AnswerDataSetup();
    s.Reply("150 Opening (3 bytes)\r\n");
    s.OpenData();
    s.SendData("abc");
    s.CloseData();
    s.Send("226 Done\r\n");
  });
  TransferClient recorder(peer);
  Lines statuses;
  recorder.client.ReportLevel = 1;
  recorder.client.OnStatus = [&](const std::string& text) { statuses.push_back(text); };
  int failures = 0;
  recorder.client.OnFailure = [&](bool&, TCmdType) { ++failures; };
  {
    SCOPED_TRACE("the local folder is missing");
    const std::string local = folder.path() + "no-such-folder/first.bin";
    try {
      recorder.client.Download("first.bin", local);
      FAIL() << "a file that cannot be created passed";
    } catch (const EFOpenError& error) {
      EXPECT_EQ(std::string(error.what()), "Cannot create file " + local);
    }
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(recorder.client.DataConnection(), nullptr);
    EXPECT_EQ(statuses.back(), "426 Connection closed; transfer aborted.\r\n");
  }
  {
    SCOPED_TRACE("the next download on the same connection");
    recorder.events.clear();
    recorder.client.Download("second.bin", folder.path() + "second.bin");
    EXPECT_EQ(folder.Read("second.bin"), "abc");
    EXPECT_EQ(recorder.events, (Lines{"start 3", "packet 3", "stop", "stop", "success 8"}));
  }
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  Lines commands = peer.Commands();
  ASSERT_EQ(commands.size(), 7u);
  EXPECT_EQ(commands[3], "RETR first.bin");
  EXPECT_EQ(commands[5], "RETR second.bin");
  EXPECT_EQ(commands[6], "QUIT");
}

TEST(FtpTransferTest, CancelDuringDownloadSendsAbor) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Opening\r\n");
    s.OpenData();
    s.SendData("part");
    s.Sleep(100);
    s.CloseData();
    s.Send("226 Done\r\n");
    s.Reply("226 ABOR command successful\r\n");
  });
  TransferClient recorder(peer);
  recorder.client.OnPacketRecvd = [&] { recorder.client.Cancel(); };
  recorder.client.Download("big.bin", folder.path() + "big.bin");
  EXPECT_FALSE(recorder.client.Canceled());
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  Lines commands = peer.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[commands.size() - 2], "ABOR");
}

TEST(FtpTransferTest, NlistItemsKeepShortLinesWhole) {
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.ReadCommand();  // NLST
    s.Send("150 Here comes the directory listing.\r\n");
    s.OpenData();
    s.SendData("a.dat\r\nb\nlast.dat");
    s.CloseData();
    s.Send("226 Directory send OK.\r\n");
  });
  TransferClient recorder(peer);
  recorder.client.Nlist();
  // A line of two characters or fewer keeps its line end; a last line
  // without one loses nothing.
  EXPECT_EQ(recorder.events,
            (Lines{"start 0", "item a.dat", "item b\n", "item last.dat", "stop", "success 13"}));
  EXPECT_EQ(recorder.client.BytesTotal, 0);
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands(), (Lines{"USER anonymous", "TYPE I", "PASV", "NLST", "QUIT"}));
}

TEST(FtpTransferTest, CancelledNlistWaitsAboutASecondForTheReply) {
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Listing\r\n");
    s.OpenData();
    s.SendData("one\r\ntwo\r\n");
    s.CloseData();
    // No final reply: the client stops waiting for one after about 0.95 s.
  });
  TransferClient recorder(peer);
  int items = 0;
  recorder.client.OnListItem = [&](const std::string&) {
    ++items;
    recorder.client.Cancel();
  };
  auto start = std::chrono::steady_clock::now();
  recorder.client.Nlist();
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(items, 2);
  // Every name arrived: the listing succeeded even though its reply was not read.
  EXPECT_EQ(recorder.events, (Lines{"start 0", "stop", "success 13"}));
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::milliseconds(3000));
  EXPECT_FALSE(recorder.client.Canceled());
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(FtpTransferTest, FailedListingReadsTheOwedReplySoTheNextDownloadWorks) {
  TempFolder folder;
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Here comes the directory listing.\r\n");
    s.OpenData();
    s.SendData("a.dat\r\n" + std::string(TStreamSocket::kBufferSize + 10, 'x'));
    s.CloseData();
    s.Sleep(150);
    s.Send("226 Directory send OK.\r\n");
    s.AnswerDataSetup();
    s.Reply("150 Opening (2 bytes)\r\n");
    s.OpenData();
    s.SendData("ok");
    s.CloseData();
    s.Send("226 Done\r\n");
  });
  TransferClient recorder(peer);
  EXPECT_THROW(recorder.client.Nlist(), ESockError);  // a name without end
  EXPECT_EQ(recorder.client.DataConnection(), nullptr);
  recorder.events.clear();
  recorder.client.Download("update3.dat", folder.path() + "update3.dat");
  EXPECT_EQ(folder.Read("update3.dat"), "ok");
  EXPECT_EQ(recorder.events, (Lines{"start 2", "packet 2", "stop", "stop", "success 8"}));
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands().back(), "QUIT");
}

TEST(FtpTransferTest, AbortEndsAListingHeldOpenAndSilent) {
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("150 Listing\r\n");
    s.OpenData();
    s.SendData("one\r\n");
    s.WaitDataClosed();  // then nothing more until the client gives up
    s.Send("426 Connection closed; transfer aborted.\r\n");
  });
  TransferClient recorder(peer);
  recorder.client.OnListItem = [&](const std::string& item) {
    recorder.events.push_back("item " + item);
    recorder.client.Abort();
  };
  try {
    recorder.client.Nlist();
    FAIL() << "an aborted listing passed";
  } catch (const EAbortError& error) {
    EXPECT_STREQ(error.what(), "Socket readln aborted");
  }
  EXPECT_EQ(recorder.events, (Lines{"start 0", "item one"}));
  EXPECT_EQ(recorder.client.DataConnection(), nullptr);
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(peer.Commands().back(), "QUIT");
}

TEST(FtpTransferTest, RefusedNlistThrowsWithoutOnFailure) {
  FtpPeer peer([](FtpPeerSession& s) {
    Login(s);
    s.AnswerDataSetup();
    s.Reply("550 No files found.\r\n");
  });
  TransferClient recorder(peer);
  int failures = 0;
  recorder.client.OnFailure = [&](bool&, TCmdType) { ++failures; };
  try {
    recorder.client.Nlist();
    FAIL() << "a refused NLST passed";
  } catch (const FTPException& error) {
    EXPECT_STREQ(error.what(), "550 No files found.\r\n");
  }
  EXPECT_EQ(failures, 0);
  recorder.client.Disconnect();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(FtpTransferTest, TransfersNeedAConnection) {
  TFtpClient client;
  int failures = 0;
  client.OnFailure = [&](bool&, TCmdType) { ++failures; };
  EXPECT_THROW(client.Download("x", "/nonexistent/x"), Exception);
  EXPECT_EQ(failures, 1);
  EXPECT_THROW(client.Nlist(), Exception);
}
