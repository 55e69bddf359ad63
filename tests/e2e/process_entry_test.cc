// ProcessEntry in-process over a real FTP connection: byte progress, the
// file check's variant, case rules of the entry fields, refused names and
// field errors, and entries that fail: damaged data, downloads past their
// listed size, packages that cannot be installed whole.
#include "update/process_entry.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ftp/ftp_client.h"
#include "platform/errors.h"
#include "support/engine_window.h"
#include "support/ftp_servers.h"
#include "update/ftp_events.h"
#include "update/install_journal.h"
#include "lists/list_file.h"
#include "update/update_run.h"
#include "update_set.h"

namespace test_support {
namespace {

class ProcessEntryTest : public ::testing::Test, public ::testing::WithParamInterface<FtpServerKind> {
 protected:
  ProcessEntryTest() : set(served.path()) {}

  void Connect() {
    server = FtpServer::Start(GetParam(), served.path());
    w.NewConnection()->Connect({"127.0.0.1", server->port(), 10000, "anonymous", ""});
    ASSERT_TRUE(w.IsConnected);
    w.RecordList = LineList{"AVWSEN", ""};
  }

  // Temporary files of the update anywhere in the game folder.
  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(w.folder.path())) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".updtmp") || name.ends_with(".dltmp")) found.push_back(name);
    }
    return found;
  }
  // Queues the server lines as the comparison would for new entries.
  void QueueNewEntries() {
    w.PendingList.emplace();
    for (const std::string& line : set.lines()) {
      w.PendingList->push_back(line);
      AddPendingName(w, LineField(line, 3));
    }
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
  // vsftpd announces the size in its reply; pyftpdlib does not, and the
  // listed size stands in for it.
  const std::string total = "300000";
  EXPECT_EQ(w.progress_texts.back(), "Data\\Big.bin 300000 of " + total);
  EXPECT_EQ(w.gauge_max, 300000);
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
    EXPECT_EQ(w.Connection->BytesTotal(), 2) << "the file was downloaded first";
    EXPECT_EQ(w.folder.Read("Ok.txt"), "<missing>") << "but is not installed";
    EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
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

TEST_P(ProcessEntryTest, FailedEntriesLeaveTheInstalledFilesWholeAndUnrecorded) {
  set.AddE("Core.gz", "System\\Core.u", "2", "core v2");
  set.AddE("New.gz", "New.u", "1", "new");
  set.AddE("Long.gz", "Long.u", "2", "long v2", +1);
  set.AddO("Short.txt", "Short.txt", "2", "short v2", +1);
  set.DamageServed("Core.gz");
  set.DamageServed("New.gz");
  w.folder.Write("System/Core.u", "core v1");
  w.folder.Write("Long.u", "long v1");
  w.folder.Write("Short.txt", "short v1");
  Connect();
  w.RecordList = LineList{"AVWSEN", "System\\Core.u 1", "Long.u 1", "Short.txt 1"};
  const LineList record = *w.RecordList;
  {
    SCOPED_TRACE("damaged data: the unpacker's box, no install, no record");
    EXPECT_EQ(ProcessEntry(w, "U 1 " + set.lines()[0], false), EntryOutcome::kPassedOver);
    EXPECT_EQ(ProcessEntry(w, set.lines()[1], false), EntryOutcome::kPassedOver);
    EXPECT_EQ(w.BoxTexts(), (std::vector<std::string>{"gzclose Error.", "gzclose Error."}));
    EXPECT_EQ(w.folder.Read("System/Core.u"), "core v1");
    EXPECT_EQ(w.folder.Read("New.u"), "<missing>");
    EXPECT_EQ(w.closes, 0) << "damaged data is no file in use";
  }
  {
    SCOPED_TRACE("a size mismatch: named, the download is removed, the installed file stays");
    EXPECT_EQ(ProcessEntry(w, "U 2 " + set.lines()[2], false), EntryOutcome::kPassedOver);
    EXPECT_EQ(ProcessEntry(w, "U 3 " + set.lines()[3], false), EntryOutcome::kPassedOver);
    EXPECT_EQ(w.folder.Read("Long.u"), "long v1");
    EXPECT_EQ(w.folder.Read("Short.txt"), "short v1");
    EXPECT_EQ(w.folder.Read("Long.gz"), "<missing>");
    const std::string long_size = LineField(set.lines()[2], 5);
    EXPECT_EQ(w.refused, (std::vector<std::string>{
                             "entry \"Long.u\" passed over: the server sent " +
                                 std::to_string(std::stol(long_size) - 1) + " of the " + long_size +
                                 " bytes of \"Long.gz\" that its list gives",
                             "entry \"Short.txt\" passed over: the server sent 8 of the 9 bytes of \"Short.txt\" "
                             "that its list gives"}));
    EXPECT_EQ(w.entries_failed, 2);
    w.refused.clear();
  }
  {
    SCOPED_TRACE("a folder that cannot be created fails the entry with its name");
    w.folder.Write("Blocked", "a file where a folder goes");
    try {
      ProcessEntry(w, "O Short.txt Blocked\\Short.txt 1 " + LineField(set.lines()[3], 5), false);
      ADD_FAILURE() << "no error raised";
    } catch (const EFOpenError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create folder " + w.folder.path() + "Blocked: a file stands in its place");
    }
  }
  EXPECT_EQ(*w.RecordList, record);
  EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
  EXPECT_TRUE(w.refused.empty());
}

TEST_P(ProcessEntryTest, DownloadPastItsListedSizeIsPassedOverAndNamed) {
  const std::string endless(300000, 'e');
  set.AddO("Endless.bin", "Data\\Endless.bin", "2", endless, 100 - static_cast<long>(endless.size()));
  set.AddE("Endless.gz", "Endless.u", "2", endless, 100 - static_cast<long>(Gzip(endless).size()));
  set.AddO("After.txt", "After.txt", "1", "after");
  w.folder.Write("Data/Endless.bin", "installed before");
  Connect();
  EXPECT_EQ(ProcessEntry(w, set.lines()[0], false), EntryOutcome::kPassedOver);
  EXPECT_EQ(ProcessEntry(w, set.lines()[1], false), EntryOutcome::kPassedOver);
  EXPECT_EQ(w.entries_failed, 2);
  ASSERT_EQ(w.refused.size(), 2u);
  EXPECT_NE(w.refused[0].find("\"Data\\Endless.bin\" passed over"), std::string::npos) << w.refused[0];
  EXPECT_NE(w.refused[1].find("\"Endless.u\" passed over"), std::string::npos) << w.refused[1];
  EXPECT_EQ(w.folder.Read("Data/Endless.bin"), "installed before");
  EXPECT_EQ(w.folder.Read("Endless.u"), "<missing>");
  EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{}) << "the partial download is removed";

  SCOPED_TRACE("the connection stays in step for the next entry");
  EXPECT_EQ(ProcessEntry(w, set.lines()[2], false), EntryOutcome::kInstalled);
  EXPECT_EQ(w.folder.Read("After.txt"), "after");
  EXPECT_EQ(*w.RecordList, (LineList{"AVWSEN", "", "After.txt 1"}));
}

TEST_P(ProcessEntryTest, PackageThatCannotBeInstalledWholeStopsTheRun) {
  set.AddBundle("T", "Trees.gz", "Trees.bnd", "1", {{"Textures\\Oak.pcx", "oak"}}, "Trees");
  set.AddBundle("W", "Birds.gz", "Birds.bnd", "1", {{"..\\Out.wav", "out"}, {"sounds\\Chirp.wav", "chirp"}},
                "Birds");
  set.AddO("After.txt", "After.txt", "1", "after");
  set.DamageServed("Trees.gz");
  Connect();
  QueueNewEntries();
  {
    SCOPED_TRACE("a bundle whose data is damaged");
    try {
      Button1Click(w);
      ADD_FAILURE() << "the run went on";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Cannot install Trees.bnd: its download could not be unpacked");
    }
    EXPECT_EQ(w.BoxTexts(), std::vector<std::string>{"gzclose Error."});
  }
  {
    SCOPED_TRACE("a bundle with a member that may not be written");
    try {
      ProcessEntry(w, set.lines()[1], false);
      ADD_FAILURE() << "no error raised";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(),
                   "Cannot install Birds.bnd: bundle member 1 \"..\\Out.wav\" skipped: its name leaves the game folder");
    }
  }
  EXPECT_EQ(w.folder.Read("After.txt"), "<missing>") << "the run stopped at the package";
  EXPECT_FALSE(w.StartGameShown);
  EXPECT_EQ(*w.RecordList, (LineList{"AVWSEN", ""}));
  EXPECT_EQ(w.folder.Read("Trees.bnd"), "<missing>");
  EXPECT_EQ(w.folder.Read("Birds.bnd"), "<missing>");
  EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
}

TEST_P(ProcessEntryTest, RecordIsSavedOnlyOnceTheInstalledFilesAreFlushed) {
  set.AddE("Core.gz", "System\\Core.u", "1", "core");
  set.AddO("Readme.txt", "Help\\Readme.txt", "1", "read me");
  set.AddBundle("C", "Maps.gz", "Maps.bnd", "1", {{"Maps\\Town.map", "town"}, {"Maps\\Glade.map", "glade"}});
  Connect();
  QueueNewEntries();
  std::vector<std::string> flushed;
  std::string record_at_flush;
  SetInstalledFileFlusher([&](const std::vector<std::string>& paths) {
    flushed = paths;
    record_at_flush = w.folder.Read("update2.dat");
  });
  Button1Click(w);
  SetInstalledFileFlusher(nullptr);
  const std::string dir = w.folder.path();
  EXPECT_EQ(flushed, (std::vector<std::string>{dir + "Help/Readme.txt", dir + "Maps/Glade.map", dir + "Maps/Town.map",
                                               dir + "System/Core.u", dir, dir + "Help/", dir + "Maps/",
                                               dir + "System/"}));
  EXPECT_EQ(record_at_flush, "<missing>");
  EXPECT_EQ(w.folder.Read("update2.dat"),
            "AVWSEN\r\n\r\nSystem\\Core.u 1\r\nHelp\\Readme.txt 1\r\nMaps.bnd 1\r\n");
  EXPECT_EQ(w.folder.Read("updtmp.dat"), "<missing>") << "nothing is left to clean up";
}

INSTANTIATE_TEST_SUITE_P(RealServers, ProcessEntryTest,
                         ::testing::Values(FtpServerKind::kPyftpdlib, FtpServerKind::kVsftpd),
                         [](const auto& info) { return std::string(FtpServerName(info.param)); });

}  // namespace
}  // namespace test_support
