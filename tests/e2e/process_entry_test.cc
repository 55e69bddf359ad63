// ProcessEntry in-process over a real FTP connection: byte progress, the
// file check's variant, case rules of the entry fields, refused names and
// field errors.
#include "update/process_entry.h"

#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "platform/errors.h"
#include "support/engine_window.h"
#include "support/ftp_servers.h"
#include "update/ftp_events.h"
#include "update_set.h"

namespace test_support {
namespace {

class ProcessEntryTest : public HeadlessAppTest, public ::testing::WithParamInterface<FtpServerKind> {
 protected:
  ProcessEntryTest() : set(served.path()) {}

  void Connect() {
    server = FtpServer::Start(GetParam(), served.path());
    w.NewConnection().Connect({"127.0.0.1", server->port(), 10000, "anonymous", ""});
    ASSERT_TRUE(w.IsConnected);
    w.RecordList = LineList{"AVWSEN", ""};
  }

  TempFolder served;
  UpdateSet set;
  std::unique_ptr<FtpServer> server;
  EngineTestWindow w;
};

TEST_P(ProcessEntryTest, ByteProgressNamesTheEntryUnlessChecking) {
  const std::string big(300000, 'b');
  set.AddO("Big.bin", "Data\\Big.bin", "1", big);
  Connect();
  w.ShowProgress = true;
  AddPendingName(w, "Data\\Big.bin");
  EXPECT_EQ(ProcessEntry(w, set.lines()[0], false), EntryOutcome::kInstalled);
  ASSERT_FALSE(w.progress_texts.empty());
  // vsftpd announces the size in its reply; pyftpdlib does not (total 0).
  const std::string total = GetParam() == FtpServerKind::kVsftpd ? "300000" : "0";
  EXPECT_EQ(w.progress_texts.back(), "Data\\Big.bin 300000 of " + total);
  EXPECT_EQ(w.gauge_max, GetParam() == FtpServerKind::kVsftpd ? 300000 : 0);
  EXPECT_EQ(*w.RecordList, (LineList{"AVWSEN", "", "Data\\Big.bin 1"}));

  w.progress_texts.clear();
  w.CheckMode = true;
  EXPECT_EQ(ProcessEntry(w, set.lines()[0], true), EntryOutcome::kInstalled);
  EXPECT_EQ(w.progress_texts.back(), "300000 of " + total);
  EXPECT_EQ(w.RecordList->size(), 3u) << "the file check adds no record line";

  w.progress_texts.clear();
  w.ShowProgress = false;
  EXPECT_EQ(ProcessEntry(w, set.lines()[0], false), EntryOutcome::kInstalled);
  EXPECT_TRUE(w.progress_texts.empty());
}

TEST_P(ProcessEntryTest, CaseRulesOfTheEntryFields) {
  set.AddE("A.u.gz", "Sys\\A.u", "2", "a v2");
  set.AddE("B.u.gz", "Sys\\B.u", "2", "b v2");
  set.WriteList();
  Connect();
  w.RecordList = LineList{"AVWSEN", "Sys\\A.u 1", "Sys\\B.u 1"};
  {
    SCOPED_TRACE("a lower-case u is a changed entry; FromCheck still replaces its line");
    EXPECT_EQ(ProcessEntry(w, "u 1 " + set.lines()[0], true), EntryOutcome::kInstalled);
    EXPECT_EQ((*w.RecordList)[1], "Sys\\A.u 2");
    EXPECT_EQ(w.folder.Read("A.u.gz"), "<missing>") << "the downloaded gzip file is removed once unpacked";
  }
  {
    SCOPED_TRACE("a lower-case type of a changed entry is passed over");
    std::string line = "U 2 " + set.lines()[1];
    line[4] = 'e';
    EXPECT_EQ(ProcessEntry(w, line, false), EntryOutcome::kPassedOver);
    EXPECT_EQ((*w.RecordList)[2], "Sys\\B.u 1");
  }
  {
    SCOPED_TRACE("a lower-case type of a new entry is processed, spaces do not shift fields");
    std::string line = "  e  " + set.lines()[1].substr(2);
    EXPECT_EQ(ProcessEntry(w, line, false), EntryOutcome::kInstalled);
    EXPECT_EQ(w.RecordList->back(), "Sys\\B.u 2");
  }
  TempFolder& game = w.folder;
  EXPECT_EQ(game.Read("Sys/A.u"), "a v2");
  EXPECT_EQ(game.Read("Sys/B.u"), "b v2");
}

TEST_P(ProcessEntryTest, RefusedNamesAndBadFields) {
  set.AddO("Ok.txt", "Ok.txt", "1", "ok");
  Connect();
  {
    SCOPED_TRACE("names that leave the game folder are refused before any transfer");
    for (const char* line : {"O Ok.txt ..\\Out.txt 1 2", "E ..\\Ok.txt In.txt 1 2", "O Ok.txt \\Abs.txt 1 2",
                             "U 1 O Ok.txt D:Out.txt 1 2"}) {
      EXPECT_EQ(ProcessEntry(w, line, false), EntryOutcome::kPassedOver) << line;
    }
    EXPECT_EQ(w.refused.size(), 4u);
    EXPECT_NE(w.refused[0].find("..\\Out.txt"), std::string::npos) << w.refused[0];
    EXPECT_TRUE(w.progress_texts.empty());
    EXPECT_EQ(*w.RecordList, (LineList{"AVWSEN", ""}));
  }
  {
    SCOPED_TRACE("a size that is not a number, after the download");
    try {
      ProcessEntry(w, "O Ok.txt Ok.txt 1 two", false);
      ADD_FAILURE() << "no error raised";
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), "'two' is not a valid integer value");
    }
    EXPECT_EQ(w.folder.Read("Ok.txt"), "ok");
  }
  SCOPED_TRACE("a record index outside the record");
  EXPECT_THROW(ProcessEntry(w, "U 7 O Ok.txt Ok.txt 2 2", false), EListError);
  EXPECT_THROW(ProcessEntry(w, "U x O Ok.txt Ok.txt 2 2", false), EConvertError);
}

TEST_P(ProcessEntryTest, PackageWhoseImportToolIsMissingIsNotRecorded) {
  set.AddBundle("W", "Birds.gz", "Birds.bnd", "1", {{"sounds\\Chirp.wav", "chirp"}}, "Birds");
  Connect();
  EXPECT_EQ(ProcessEntry(w, set.lines()[0], false), EntryOutcome::kPassedOver);
  EXPECT_EQ(w.folder.Read("sounds/Chirp.wav"), "chirp") << "the members stay in place";
  EXPECT_EQ(w.folder.Read("Birds.bnd"), "<missing>");
  EXPECT_EQ(*w.RecordList, (LineList{"AVWSEN", ""}));
}

INSTANTIATE_TEST_SUITE_P(RealServers, ProcessEntryTest,
                         ::testing::Values(FtpServerKind::kPyftpdlib, FtpServerKind::kVsftpd),
                         [](const auto& info) { return std::string(FtpServerName(info.param)); });

}  // namespace
}  // namespace test_support
