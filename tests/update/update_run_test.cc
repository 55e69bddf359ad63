#include "update/update_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "texts/big5_to_gb.h"
#include "support/engine_window.h"
#include "support/fake_transport.h"
#include "support/wait_until.h"
#include "lists/list_file.h"
#include "update/process_entry.h"
#include "update/run_bytes.h"

namespace {

class UpdateRunTest : public ::testing::Test {
 protected:
  // Queues entries that the run passes over without a download (changed
  // entries of a package type), so the run's own bookkeeping shows alone.
  void QueueChangedPackages(int n) {
    w.RecordList = LineList{"AVWSEN"};
    w.PendingList.emplace();
    for (int i = 0; i < n; ++i) {
      const std::string name = "Pack" + std::to_string(i) + ".bnd";
      w.RecordList->push_back(name + " 1");
      w.PendingList->push_back("U " + std::to_string(i + 1) + " T Pack.gz " + name + " 2 10 Pack");
      AddPendingName(w, name);
    }
  }
  test_support::EngineTestWindow w;
};

TEST_F(UpdateRunTest, CountsDownAndEndsWithFilesUpdated) {
  w.IsConnected = true;
  w.gauge_shown = false;
  QueueChangedPackages(3);
  Button1Click(w);
  EXPECT_EQ(w.status_texts, (std::vector<std::string>{"2files remain to be updated", "1file remain to be updated",
                                                      "0files remain to be updated", "files updated"}));
  EXPECT_TRUE(w.StartGameShown);
  EXPECT_FALSE(w.UpdateArmed);
  EXPECT_TRUE(w.gauge_shown);
  EXPECT_TRUE(w.status_shown);
  EXPECT_EQ(static_cast<int>(w.pending.size()), 0);
  EXPECT_EQ(w.processed, (std::vector<std::string>{"Pack0.bnd", "Pack1.bnd", "Pack2.bnd"}));
  // Changed package entries keep their record lines; the record is saved.
  EXPECT_EQ(w.folder.Read("update2.dat"), "AVWSEN\r\nPack0.bnd 1\r\nPack1.bnd 1\r\nPack2.bnd 1\r\n");
}

TEST_F(UpdateRunTest, ChineseCountdowns) {
  // 還有0個檔案需要更新, then 更新完成, in Big5
  const std::string remain = "\xC1\xD9\xA6\xB3" "0" "\xAD\xD3\xC0\xC9\xAE\xD7\xBB\xDD\xAD\x6E\xA7\xF3\xB7\x73";
  const std::string done = "\xA7\xF3\xB7\x73\xA7\xB9\xA6\xA8";
  w.IsConnected = true;
  w.LangLetter = 't';
  QueueChangedPackages(1);
  Button1Click(w);
  EXPECT_EQ(w.status_texts, (std::vector<std::string>{remain, done}));

  SCOPED_TRACE("Simplified Chinese shows the same texts converted to GB2312");
  w.status_texts.clear();
  w.LangLetter = 's';
  SetUpdateArmed(w, true);
  QueueChangedPackages(1);
  Button1Click(w);
  EXPECT_EQ(w.status_texts, (std::vector<std::string>{Big5ToGB(remain), Big5ToGB(done)}));
  EXPECT_NE(w.status_texts[1], done);
}

TEST_F(UpdateRunTest, WhatTheRunDoesWithoutConnectionOrEntries) {
  {
    SCOPED_TRACE("not connected: nothing at all");
    QueueChangedPackages(2);
    Button1Click(w);
    EXPECT_TRUE(w.UpdateArmed);
    EXPECT_TRUE(w.status_texts.empty());
    EXPECT_EQ(w.folder.Read("update2.dat"), "<missing>");
  }
  w.IsConnected = true;
  {
    SCOPED_TRACE("no pending list yet: Button1 disabled, gauge and Label3 shown, nothing saved");
    w.PendingList.reset();
    w.RecordList.reset();
    Button1Click(w);
    EXPECT_FALSE(w.UpdateArmed);
    EXPECT_TRUE(w.status_shown);
    EXPECT_EQ(w.folder.Read("update2.dat"), "<missing>");
  }
  {
    SCOPED_TRACE("an empty pending list: no Image3, but the record is saved");
    w.PendingList.emplace();
    w.RecordList = LineList{"AVWSEN", ""};
    Button1Click(w);
    EXPECT_FALSE(w.StartGameShown);
    EXPECT_TRUE(w.status_texts.empty());
    EXPECT_EQ(w.folder.Read("update2.dat"), "AVWSEN\r\n\r\n");
  }
}

TEST_F(UpdateRunTest, EntriesPassedOverWithoutDownload) {
  w.IsConnected = true;
  w.RecordList = LineList{"AVWSEN", "Sys.u 1"};
  const LineList before = *w.RecordList;
  for (const char* line : {"U 1 T Pack.gz Sys.u 2 10 Pack",  // changed package: nothing
                           "U 1 e Sys.u.gz Sys.u 2 10",     // changed type compared exactly
                           "X Other.gz Other.txt 1 10",     // unknown type
                           ""}) {                           // a blank server line
    SCOPED_TRACE(line);
    EXPECT_EQ(ProcessEntry(w, line, false), EntryOutcome::kPassedOver);
    EXPECT_EQ(*w.RecordList, before);
  }
  EXPECT_TRUE(w.refused.empty());
}

TEST_F(UpdateRunTest, RunRemovesWhatAKilledRunLeftBehind) {
  w.folder.Write("Maps/Town.map.updtmp", "half a member");
  w.folder.Write("Maps.gz.dltmp", "half a download");
  w.folder.Write("updtmp.dat", std::string("Maps/Town.map.updtmp\0Maps.gz.dltmp\0", 35));
  w.IsConnected = true;
  QueueChangedPackages(1);
  Button1Click(w);
  EXPECT_EQ(w.folder.Read("Maps/Town.map.updtmp"), "<missing>");
  EXPECT_EQ(w.folder.Read("Maps.gz.dltmp"), "<missing>");
  EXPECT_EQ(w.folder.Read("updtmp.dat"), "<missing>");
  EXPECT_TRUE(w.refused.empty());
}

// The engine keeps the run's byte totals for a front-end that shows the
// time left: the listed sizes of what the run downloads, less what the
// connection received since the run began; nothing outside a run.
class RunBytesWindow : public test_support::EngineTestWindow {
 public:
  using EngineTestWindow::EngineTestWindow;
  void SetProgressText(const std::string& text) override {
    EngineTestWindow::SetProgressText(text);
    left.push_back(RunBytesLeft(*this));
  }
  std::vector<std::optional<int64_t>> left;  // at each progress text
};

TEST(RunBytesTest, BytesLeftCountDownOverTheRun) {
  test_support::FakeServer server;
  server.files["update3.dat"] = std::string(700, 'u');
  server.files["A.txt"] = std::string(100, 'a');
  server.files["B.txt"] = std::string(250, 'b');
  RunBytesWindow w(test_support::FakeTransportFactory(server));
  w.NewConnection();
  w.IsConnected = true;
  w.ShowProgress = true;
  EXPECT_EQ(RunBytesLeft(w), std::nullopt);
  w.Connection->Download("update3.dat", w.folder.path() + "update3.dat", -1, {}, false);
  EXPECT_EQ(ConnectionBytesReceived(w), 700) << "bytes before the run are not the run's";
  EXPECT_EQ(w.left, (std::vector<std::optional<int64_t>>{std::nullopt}));
  w.left.clear();
  w.RecordList = LineList{"AVWSEN", "Pack.bnd 1"};
  w.PendingList = LineList{"O A.txt A.txt 1 100", "U 1 T Pack.gz Pack.bnd 2 999 Pack", "o B.txt B.txt 1 250"};
  for (const char* name : {"A.txt", "Pack.bnd", "B.txt"}) AddPendingName(w, name);
  Button1Click(w);
  EXPECT_EQ(w.left, (std::vector<std::optional<int64_t>>{250, 0})) << "the changed package downloads nothing";
  EXPECT_EQ(RunBytesLeft(w), std::nullopt) << "the run is over";
  EXPECT_EQ(ConnectionBytesReceived(w), 1050);
  EXPECT_EQ(w.folder.Read("B.txt"), std::string(250, 'b'));
}

TEST(RunBytesTest, WhatEachPendingEntryDownloads) {
  for (const auto& [line, bytes] : std::vector<std::pair<std::string, int64_t>>{
           {"E Core.u.gz System\\Core.u 2 1234", 1234},
           {"t Trees.gz Trees.bnd 1 77 Trees", 77},
           {"U 3 C Maps.gz Maps.bnd 2 4096", 4096},
           {"U 3 O Read.txt Read.txt 2 12 0123abcd", 12},
           {"U 3 T Pack.gz Pack.bnd 2 10 Pack", 0},  // a changed package: passed over
           {"U 3 e Sys.u.gz Sys.u 2 10", 0},         // a changed type is compared exactly
           {"X Other.gz Other.txt 1 10", 0},
           {"O NoSize.txt NoSize.txt 1", 0},
           {"O Bad.txt Bad.txt 1 12x", 0},
           {"O Big.pak Big.pak 1 5368709120", 5368709120},
           {"U 3 E Big.gz Big.pak 2 4294967296", 4294967296},
           {"", 0}}) {
    EXPECT_EQ(PendingDownloadBytes(line), bytes) << line;
  }
}

TEST_F(UpdateRunTest, RunBytesOfSizesNear64BitsSaturate) {
  w.PendingList = LineList{"O A.txt A.txt 1 9223372036854775807", "O B.txt B.txt 1 9223372036854775807"};
  const RunBytesScope scope(w);
  EXPECT_EQ(w.RunBytes.Listed, INT64_MAX);
}

TEST_F(UpdateRunTest, ListedSizeBoundsOnlyPlainDecimalSizes) {
  for (const auto& [field, bound] : std::vector<std::pair<std::string, int64_t>>{
           {"0", 0}, {"1234", 1234}, {"0042", 42}, {"99999999999", 99999999999},
           {"2147483648", 2147483648}, {"4294967296", 4294967296}, {"1234567890123456789", 1234567890123456789},
           {"9223372036854775807", INT64_MAX}, {"9223372036854775808", -1}, {"18446744073709551616", -1},
           {"", -1}, {"-3", -1}, {"+3", -1}, {"3x", -1}, {"abc", -1}}) {
    EXPECT_EQ(ListedSize(field), bound) << '"' << field << '"';
  }
}

TEST_F(UpdateRunTest, ImportCommandLines) {
  EXPECT_EQ(ImportCommandLine("T", "Trees", "Trees"), "System\\PKG pkg import texture ..\\Textures\\Trees ..\\Trees");
  EXPECT_EQ(ImportCommandLine("A", "Walk", "Walk"), "System\\PKG pkg import SkelAnim ..\\Animations\\Walk ..\\Walk");
  EXPECT_EQ(ImportCommandLine("S", "R", "Rocks"), "System\\PKG pkg import staticmesh ..\\StaticMeshes\\R ..\\Rocks");
  EXPECT_EQ(ImportCommandLine("W", "B", ""), "System\\PKG pkg import sound ..\\sounds\\B ..\\");
  EXPECT_EQ(ImportCommandLine("E", "x", "y"), "");
  EXPECT_EQ(ImportShowMode("T"), 1);
  EXPECT_EQ(ImportShowMode("W"), 0);
}

TEST_F(UpdateRunTest, StartGameRunsTheConfiguredCommandAndCloses) {
  const std::string script = w.folder.Write("Game/Run.sh", "#!/bin/sh\necho \"$@\" > started.txt\n");
  chmod(script.c_str(), 0755);
  {
    SCOPED_TRACE("refused during a forced update");
    w.ForcedUpdateActive = true;
    Image3Click(w);
    EXPECT_EQ(w.hides + w.closes, 0);
    w.ForcedUpdateActive = false;
  }
  w.FtpConfig.GameExeFile = "game\\run.sh -fast kvx";
  Image3Click(w);
  EXPECT_EQ(w.hides, 1);
  EXPECT_EQ(w.closes, 1);
  ASSERT_TRUE(test_support::WaitForLine(w.folder.path() + "started.txt"));
  EXPECT_EQ(w.folder.Read("started.txt"), "-fast kvx\n");

  EXPECT_EQ(GameCommandLine(RFtpConfigType{}), "Quelmar.exe kvx");
  SCOPED_TRACE("a game that cannot be started: named, the window shown again and left open");
  w.FtpConfig.GameExeFile = "";
  try {
    Image3Click(w);
    ADD_FAILURE() << "no error raised";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot start the game \"" + w.folder.path() +
                                         "Quelmar.exe kvx\": the program file does not exist");
  }
  EXPECT_EQ(w.shows, 1);
  EXPECT_EQ(w.closes, 1);
}

}  // namespace
