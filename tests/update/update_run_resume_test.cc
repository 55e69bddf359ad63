// The update run continues a download that an earlier run left cut off,
// over a transport that serves from memory: only the rest is fetched, the
// whole file is checked, and a partial that cannot be continued (its entry
// changed, its bytes are wrong, no entry wants it) is removed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "support/engine_window.h"
#include "support/fake_transport.h"
#include "trust/sha256.h"
#include "update/process_entry.h"
#include "update/update_run.h"

namespace {

using Lines = std::vector<std::string>;

std::string Sha256Of(const std::string& bytes) {
  trust::Sha256Stream stream;
  stream.Update(bytes);
  return stream.Final();
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7) % 26);
  return bytes;
}

class UpdateRunResumeTest : public ::testing::Test {
 protected:
  UpdateRunResumeTest() : w(test_support::FakeTransportFactory(server)) {
    server.files["Big.bin"] = kBig;
    server.files["After.txt"] = "after";
    w.NewConnection();
    w.IsConnected = true;
  }

  // An update run of `lines` (new entries) from an empty record; the
  // server's request log and byte count start afresh.
  void Run(const Lines& lines) {
    server.requests.clear();
    server.bytes_served = 0;
    w.RecordList = LineList{"AVWSEN", ""};
    w.PendingList.emplace();
    ClearPendingNames(w);
    for (const std::string& line : lines) {
      w.PendingList->push_back(line);
      AddPendingName(w, LineField(line, 3));
    }
    Button1Click(w);
  }
  // A run that the cut-off download stops with its error.
  void RunCutOff(const Lines& lines) {
    server.cut_off_at["Big.bin"] = kCut;
    EXPECT_THROW(Run(lines), Exception);
    server.cut_off_at.clear();
    ASSERT_EQ(w.folder.Read(kPartial), kBig.substr(0, kCut)) << "what arrived stays";
  }
  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(w.folder.path())) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".updtmp") || name.ends_with(".dltmp") || name == "updtmp.dat") found.push_back(name);
    }
    return found;
  }

  const std::string kBig = Pattern(1000);
  static constexpr size_t kCut = 400;
  static constexpr const char* kPartial = "Data/Big.bin.updtmp";
  const std::string kBigLine = "O Big.bin Data\\Big.bin 2 1000 " + Sha256Of(kBig);
  const std::string kAfterLine = "O After.txt After.txt 1 5";
  test_support::FakeServer server;
  test_support::EngineTestWindow w;
};

TEST_F(UpdateRunResumeTest, CutOffDownloadIsContinuedByTheNextRun) {
  for (const bool refuse_rest : {false, true}) {
    SCOPED_TRACE(refuse_rest ? "the server cannot continue: the file starts over" : "the server continues");
    RunCutOff({kBigLine, kAfterLine});
    server.refuse_rest = refuse_rest;
    Run({kBigLine, kAfterLine});
    if (refuse_rest) {
      EXPECT_EQ(server.requests, (Lines{"get Big.bin", "get After.txt"}));
      EXPECT_EQ(server.bytes_served, 1000 + 5);
    } else {
      EXPECT_EQ(server.requests, (Lines{"rest 400", "get Big.bin", "get After.txt"}));
      EXPECT_EQ(server.bytes_served, 600 + 5) << "only the rest is fetched";
    }
    EXPECT_TRUE(w.folder.Read("Data/Big.bin") == kBig) << "installed byte for byte";
    EXPECT_EQ(w.folder.Read("After.txt"), "after");
    EXPECT_EQ(w.folder.Read("update2.dat"), "AVWSEN\r\n\r\nData\\Big.bin 2\r\nAfter.txt 1\r\n");
    EXPECT_EQ(TemporaryFiles(), Lines{});
    EXPECT_TRUE(w.refused.empty());
    server.refuse_rest = false;
    std::filesystem::remove(w.folder.path() + "Data/Big.bin");
  }
}

TEST_F(UpdateRunResumeTest, PartialOfAnEntryThatChangedIsRemovedNotContinued) {
  RunCutOff({kBigLine, kAfterLine});
  const std::string newer = "O Big.bin Data\\Big.bin 3 1000 " + Sha256Of(kBig);
  {
    SCOPED_TRACE("removed before the new version is fetched");
    server.failing.insert("Big.bin");
    EXPECT_THROW(Run({newer}), Exception);
    server.failing.clear();
    EXPECT_EQ(server.requests, (Lines{"get Big.bin"})) << "no continuation asked";
    EXPECT_EQ(w.folder.Read(kPartial), "<missing>");
  }
  Run({newer});
  EXPECT_EQ(server.bytes_served, 1000);
  EXPECT_TRUE(w.folder.Read("Data/Big.bin") == kBig);
  EXPECT_EQ(w.folder.Read("update2.dat"), "AVWSEN\r\n\r\nData\\Big.bin 3\r\n");
}

TEST_F(UpdateRunResumeTest, ContinuedFileThatDiffersFromItsDigestIsPassedOverAndRemoved) {
  RunCutOff({kBigLine, kAfterLine});
  w.folder.Write(kPartial, std::string(kCut, 'x'));  // damaged on disk since
  Run({kBigLine, kAfterLine});
  EXPECT_EQ(server.requests, (Lines{"rest 400", "get Big.bin", "get After.txt"}));
  ASSERT_EQ(w.refused.size(), 1u);
  EXPECT_NE(w.refused[0].find("entry \"Data\\Big.bin\" passed over: the SHA-256 of \"Big.bin\" as received differs"),
            std::string::npos)
      << w.refused[0];
  EXPECT_EQ(w.entries_failed, 1);
  EXPECT_EQ(w.folder.Read("Data/Big.bin"), "<missing>");
  EXPECT_EQ(w.folder.Read("update2.dat"), "AVWSEN\r\n\r\nAfter.txt 1\r\n");
  EXPECT_EQ(TemporaryFiles(), Lines{}) << "the damaged partial is not kept for another try";

  SCOPED_TRACE("the next run fetches it whole");
  Run({kBigLine});
  EXPECT_EQ(server.requests, (Lines{"get Big.bin"}));
  EXPECT_TRUE(w.folder.Read("Data/Big.bin") == kBig);
}

TEST_F(UpdateRunResumeTest, PartialThatNoEntryContinuesIsRemovedWhenTheRunEnds) {
  {
    SCOPED_TRACE("a run that ends normally");
    RunCutOff({kBigLine, kAfterLine});
    Run({kAfterLine});
    EXPECT_EQ(w.folder.Read("After.txt"), "after");
    EXPECT_EQ(TemporaryFiles(), Lines{});
  }
  {
    SCOPED_TRACE("a run that ends by an error");
    RunCutOff({kBigLine, kAfterLine});
    server.failing.insert("After.txt");
    EXPECT_THROW(Run({kAfterLine}), Exception);
    server.failing.clear();
    EXPECT_EQ(w.folder.Read(kPartial), "<missing>");
  }
  {
    SCOPED_TRACE("a download cut off before any byte arrived leaves nothing");
    server.cut_off_at["Big.bin"] = 0;
    EXPECT_THROW(Run({kBigLine}), Exception);
    server.cut_off_at.clear();
    EXPECT_EQ(w.folder.Read(kPartial), "<missing>");
  }
}

// Records what the disk held as each entry ended, and asks the run to stop
// once `stop_after` entries have ended.
class SavingWindow : public test_support::EngineTestWindow {
 public:
  using EngineTestWindow::EngineTestWindow;
  void SetStatusText(const std::string& text) override {
    EngineTestWindow::SetStatusText(text);
    records_seen.push_back(folder.Read("update2.dat"));
    if (++entries_ended == stop_after) {
      EXPECT_TRUE(RequestRunStop(*this));
    }
  }
  Lines records_seen;
  int entries_ended = 0;
  int stop_after = -1;
};

// Entries of 1 MiB with a save due every MiB: the record reaches the disk
// as the run goes, not only at its end; a stop asked for between entries
// ends the run at the next one, saved, without fetching the rest.
TEST(UpdateRunSaveTest, RecordIsSavedOnTheWayAndAStopEndsTheRunAtTheNextEntry) {
  test_support::FakeServer server;
  SavingWindow w(test_support::FakeTransportFactory(server));
  w.folder.Write("FtpConfig.ini", "[NETWORK]\r\nSAVEEVERYMIB=1\r\n");
  w.NewConnection();
  w.IsConnected = true;
  w.RecordList = LineList{"AVWSEN", ""};
  w.PendingList.emplace();
  for (int i = 0; i < 5; ++i) {
    const std::string n = std::to_string(i);
    server.files["F" + n] = std::string(1 << 20, static_cast<char>('a' + i));
    w.PendingList->push_back("O F" + n + " F" + n + ".bin 1 1048576");
    AddPendingName(w, "F" + n + ".bin");
  }
  EXPECT_FALSE(RequestRunStop(w)) << "no run to stop";
  w.stop_after = 3;
  Button1Click(w);
  EXPECT_TRUE(w.StopRequested);
  EXPECT_FALSE(w.UpdateRunning);
  EXPECT_EQ(w.records_seen, (Lines{"<missing>", "AVWSEN\r\n\r\nF0.bin 1\r\n", "AVWSEN\r\n\r\nF0.bin 1\r\nF1.bin 1\r\n"}));
  EXPECT_EQ(w.folder.Read("update2.dat"), "AVWSEN\r\n\r\nF0.bin 1\r\nF1.bin 1\r\nF2.bin 1\r\n");
  const Lines requests = server.Requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), "get F3") + std::count(requests.begin(), requests.end(), "get F4"), 0);
  EXPECT_FALSE(w.start_game_shown);
  EXPECT_FALSE(std::filesystem::exists(w.folder.path() + "updtmp.dat")) << "the ahead files planned are forgotten";
}

}  // namespace
