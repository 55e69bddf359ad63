// Faults of the connection, the server and the disk during an update: each
// is reported in the updater's own terms, loses nothing recorded, and the
// next run completes the update.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "ftp/ftp_client.h"
#include "support/ftp_peer.h"
#include "support/loopback_port.h"
#include "support/temp_folder.h"
#include "reliability/fault_fixture.h"
#include "reliability/reliability_report.h"

namespace reliability {
namespace {


class FaultTest : public FaultFixture {
 protected:
  // Reports the row once the fault's checks have run.
  void Report(const std::string& fault, const std::string& outcome) {
    const bool clean = !HasFailure();
    ReportRow(fault, 1, clean ? outcome : "FAILED: see the test log", clean ? "nothing" : "see the test log");
  }
  // Whether the last run's client sent `command` just before `next`.
  bool SentBefore(const std::string& command, const std::string& next) const {
    for (size_t i = 0; i + 1 < commands_.size(); ++i)
      if (commands_[i] == command && commands_[i + 1] == next) return true;
    return false;
  }
  // After a run that left `kept` bytes of B.GZP: the next run continues
  // them (or, with kRefuseRest, asks and starts over) and completes.
  void ExpectNextRunContinues(const std::string& kept, ServerFault fault = ServerFault::kNone) {
    const std::string& served = served_.at("B.GZP");
    ASSERT_FALSE(kept.empty() || kept == "<missing>") << "nothing kept to continue";
    EXPECT_TRUE(served.compare(0, kept.size(), kept) == 0) << "the partial holds the first bytes";
    ExpectNextRunCompletes(fault);
    EXPECT_TRUE(SentBefore("REST " + std::to_string(kept.size()), "RETR B.GZP")) << Commands();
    const size_t expected = fault == ServerFault::kRefuseRest ? served.size() : served.size() - kept.size();
    EXPECT_EQ(served_bytes_["B.GZP"], expected);
    EXPECT_EQ(Game("B.GZP.dltmp"), "<missing>");
    EXPECT_EQ(Game("updtmp.dat"), "<missing>");
  }
  std::string Commands() const {
    std::string text;
    for (const std::string& command : commands_) text += command + "\n";
    return text;
  }
};

TEST_F(FaultTest, ServerFaultsDuringTransfers) {
  {
    SCOPED_TRACE("RETR refused");
    const ChildResult r = RunAgainst(ServerFault::kRefuseRetr, "B.GZP");
    EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
    EXPECT_TRUE(Printed(r, "550 B.GZP: No such file or directory.")) << r.out;
    ExpectNothingRecordedLost();
    EXPECT_EQ(Game("update2.dat"), "AVWSEN\r\n\r\nOld.txt 1\r\nA.txt 1\r\n") << "saved up to the refused entry";
    ExpectNextRunCompletes();
    Report("server refuses \"RETR \"", "the server's 550 reply shown; the run stops; entries before it kept");
  }
}

TEST_F(FaultTest, DataConnectionResetMidTransfer) {
  const ChildResult r = RunAgainst(ServerFault::kResetMidTransfer, "B.GZP");
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_TRUE(Printed(r, "10054")) << "the socket error is shown: " << r.out;
  ExpectNothingRecordedLost();
  ExpectNextRunContinues(Game("B.GZP.dltmp"));
  Report("data connection reset in mid-transfer",
         "socket error 10054 shown; the run stops; the next run continues the download with REST");
}

TEST_F(FaultTest, CutOffDownloadStartsOverWhereTheServerCannotContinue) {
  const ChildResult r = RunAgainst(ServerFault::kResetMidTransfer, "B.GZP");
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  ExpectNextRunContinues(Game("B.GZP.dltmp"), ServerFault::kRefuseRest);
  Report("data connection reset in mid-transfer, then a server that refuses \"REST \"",
         "the next run starts the download over and installs it whole");
}

TEST_F(FaultTest, KilledMidDownloadTheNextRunContinuesIt) {
  const size_t half = served_["B.GZP"].size() / 2;
  ChildOptions killed;
  killed.grown_file = game_dir() + "B.GZP.dltmp";
  killed.grown_to = static_cast<long long>(half);
  const ChildResult r = RunAgainst(ServerFault::kStallMidTransfer, "B.GZP", killed);
  EXPECT_TRUE(r.Killed() && r.seconds * 1000 < killed.timeout_ms) << r.out << r.err;
  ExpectNothingRecordedLost();
  const std::string kept = Game("B.GZP.dltmp");
  EXPECT_EQ(kept.size(), half);
  ExpectNextRunContinues(kept);
  Report("SIGKILL in mid-download, then a run to the end",
         "the partial download is kept; the next run sends REST and fetches only the rest; installed and recorded");
}

TEST_F(FaultTest, ShortDownloadIsNamedAndPassedOver) {
  for (const ServerFault fault : {ServerFault::kCloseMidTransfer, ServerFault::kShortTransfer}) {
    SCOPED_TRACE(fault == ServerFault::kShortTransfer ? "half the file, then 226" : "half the file, then 426");
    const ChildResult r = RunAgainst(fault, "B.GZP");
    EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
    const std::string size = std::to_string(served_["B.GZP"].size());
    EXPECT_NE(r.err.find("entry \"System\\B.u\" passed over: the server sent " +
                         std::to_string(served_["B.GZP"].size() / 2) + " of the " + size +
                         " bytes of \"B.GZP\" that its list gives"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Game("System/B.u"), "<missing>") << "a short download is neither unpacked nor recorded";
    EXPECT_EQ(Game("update2.dat").find("System\\B.u"), std::string::npos) << Game("update2.dat");
    ExpectNothingRecordedLost();
    EXPECT_EQ(Game("C.u"), TextOfSize(3000, 3)) << "the run goes on after the short entry";
    EXPECT_EQ(Game("B.GZP.dltmp"), "<missing>") << "a transfer the server ended is not continued";
  }
  ExpectNextRunCompletes();
  Report("data connection closed in mid-transfer, with \"426\" and with \"226\" (short file)",
         "byte count differs from the size: entry passed over and named on stderr, run goes on; exit 3");
}

TEST_F(FaultTest, UnreachableServers) {
  {
    SCOPED_TRACE("login stalls past TimeOut");
    const ChildResult r = RunAgainst(ServerFault::kStallLogin, "");
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_EQ(r.Lines(), (std::vector<std::string>{"connecting...", "Disconnected", "Disconnected"})) << r.out;
    EXPECT_LT(r.seconds, 10) << "TimeOut is 2000 ms";
    EXPECT_NE(r.err.find(": timed out after 2 s\n"), std::string::npos) << r.err;
    ExpectNothingRecordedLost();
  }
  {
    SCOPED_TRACE("port closed");
    const int port = test_support::ClosedLoopbackPort();
    const ChildResult r = RunAgainst(ServerFault::kNone, "", {}, "", port);
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_TRUE(Printed(r, "Disconnected")) << r.out;
    EXPECT_EQ(r.err, "updater-cli: 127.0.0.1:" + std::to_string(port) + ": connection refused or unreachable\n");
    ExpectNothingRecordedLost();
  }
  // In a network namespace of its own the lookup cannot leave the machine;
  // without one the case is left out rather than asking a real name server.
  if (std::system("unshare -n true 2>/dev/null") == 0) {
    SCOPED_TRACE("name does not resolve");
    ChildOptions isolated;
    isolated.wrapper = {"unshare", "-n"};
    const ChildResult r = RunAgainst(ServerFault::kNone, "", isolated, "updates.example.invalid");
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_TRUE(Printed(r, "Disconnected")) << r.out;
    EXPECT_EQ(r.err.rfind("updater-cli: updates.example.invalid:", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(": host not found\n"), std::string::npos) << r.err;
    ExpectNothingRecordedLost();
  }
  {
    SCOPED_TRACE("a greeting line without end");
    const ChildResult r = RunAgainst(ServerFault::kEndlessReplyLine, "");
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_TRUE(Printed(r, "Disconnected")) << r.out;
    EXPECT_LT(r.max_rss_kb, RunMemoryBoundKb(64 * 1024));
    EXPECT_NE(r.err.find(": Line is too long: no line end within "), std::string::npos) << r.err;
    ExpectNothingRecordedLost();
  }
  {
    SCOPED_TRACE("a greeting of continuation lines without end");
    const ChildResult r = RunAgainst(ServerFault::kEndlessGreeting, "");
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_TRUE(Printed(r, "Disconnected")) << r.out;
    EXPECT_LT(r.seconds, 10) << "TimeOut is 2000 ms; the server would go on for 40 s";
    EXPECT_NE(r.err.find(": timed out after 2 s\n"), std::string::npos) << r.err;
    ExpectNothingRecordedLost();
  }
  ExpectNextRunCompletes();
  Report("login stalls past TimeOut; port closed; name does not resolve; greeting without line end; "
         "greeting of continuation lines without end",
         "\"Disconnected\" in the label and a box, each server and why on stderr; exit 1");
}

TEST_F(FaultTest, DiskFullDuringDownload) {
  const std::string big = TextOfSize(3000000, 9);
  AddEntry("O", "Big.dat", "Big.dat", "1", big, big);
  ChildOptions limited;
  limited.file_size_limit = 1000000;
  const ChildResult r = RunAgainst(ServerFault::kNone, "", limited);
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_TRUE(Printed(r, "I/O error 27 writing " + game_dir() + "Big.dat.updtmp: File too large")) << r.out;
  EXPECT_EQ(Game("Big.dat"), "<missing>") << "a cut-off download is never installed";
  EXPECT_EQ(Game("Big.dat.updtmp"), "<missing>");
  ExpectNothingRecordedLost();
  ExpectNextRunCompletes();
  Report("disk full during a download (file-size limit, EFBIG)", "\"I/O error 27 writing ...\" shown; the run stops");
}

TEST_F(FaultTest, DiskFullDuringUnpacking) {
  // 3 MB that compress to a few kilobytes: the download fits, the unpack does not.
  const std::string huge = TextOfSize(3000000, 7);
  AddEntry("E", "Huge.GZP", "Huge.u", "2", GzipBytes(huge), huge);
  ChildOptions limited;
  limited.file_size_limit = 1000000;
  {
    SCOPED_TRACE("new entry");
    const ChildResult r = RunAgainst(ServerFault::kNone, "", limited);
    EXPECT_TRUE(Printed(r, "gzclose Error.")) << r.out;
    EXPECT_EQ(r.Lines().back(), "The file is useing") << r.out;
    ExpectNothingRecordedLost();
    EXPECT_EQ(Game("update2.dat").find("Huge.u"), std::string::npos) << "a cut-off file is never recorded";
  }
  {
    SCOPED_TRACE("changed entry: the old version stays recorded");
    ExpectNextRunCompletes();
    const std::string newer = TextOfSize(3000000, 8);
    served_["Huge.GZP"] = GzipBytes(newer);
    list_.replace(list_.find("Huge.u 2 "), std::string::npos,
                  "Huge.u 3 " + std::to_string(served_["Huge.GZP"].size()) + "\r\n");
    const ChildResult r = RunAgainst(ServerFault::kNone, "", limited);
    EXPECT_TRUE(Printed(r, "gzclose Error.")) << r.out;
    EXPECT_NE(Game("update2.dat").find("\r\nHuge.u 2\r\n"), std::string::npos) << Game("update2.dat");
    EXPECT_TRUE(Game("Huge.u") == huge) << "the installed version stays whole";
    EXPECT_EQ(Game("Huge.u.updtmp"), "<missing>");
    installed_["Huge.u"] = newer;
    versions_["Huge.u"] = "3";
    ExpectNextRunCompletes();
  }
  Report("disk full during unpacking, new and changed entry (file-size limit)",
         "\"gzclose Error.\" box; new entry: in-use stop; changed entry: old version stays recorded and whole");
}

TEST_F(FaultTest, DownloadPastItsListedSizeIsPassedOver) {
  ChildOptions bounded;
  bounded.timeout_ms = 30000;
  const ChildResult r = RunAgainst(ServerFault::kPastListedSize, "B.GZP", bounded);
  EXPECT_EQ(r.signal, 0) << "the download never ended: " << r.out;
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_NE(r.err.find("\"System\\B.u\" passed over"), std::string::npos) << r.err;
  EXPECT_EQ(r.Lines().back(), "files updated") << "the run goes on: " << r.out;
  EXPECT_EQ(Game("update2.dat").find("System\\B.u"), std::string::npos) << Game("update2.dat");
  EXPECT_EQ(Game("C.u"), TextOfSize(3000, 3));
  EXPECT_EQ(Game("B.GZP.dltmp"), "<missing>") << "the partial download is removed";
  EXPECT_EQ(Game("System/B.u"), "<missing>");
  ExpectNothingRecordedLost();
  ExpectNextRunCompletes();
  Report("a download that runs past its listed size (data without end)",
         "aborted at the listed size, removed, named on stderr; the run goes on; exit 3");
}

TEST_F(FaultTest, DestinationCannotBeCreated) {
  std::filesystem::create_directories(game_dir() + "A.txt");  // a folder where the file goes
  const ChildResult r = RunAgainst(ServerFault::kNone, "");
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_TRUE(Printed(r, "Cannot create file " + game_dir() + "A.txt")) << r.out;
  ExpectNothingRecordedLost();
  std::filesystem::remove(game_dir() + "A.txt");
  ExpectNextRunCompletes();
  Report("destination cannot be created (a folder in its place)", "\"Cannot create file ...\" shown; the run stops");
}

}  // namespace
}  // namespace reliability
