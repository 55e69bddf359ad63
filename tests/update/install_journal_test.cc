#include "update/install_journal.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/errors.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Paths = std::vector<std::string>;

class InstallJournalTest : public ::testing::Test {
 protected:
  ~InstallJournalTest() override { SetInstalledFileFlusher(nullptr); }

  std::string Journal() const { return game.Read("updtmp.dat"); }

  test_support::TempFolder game;
};

TEST_F(InstallJournalTest, NamesAreNotedBeforeTheFilesExist) {
  const std::string dir = game.path();
  EXPECT_EQ(BeginPartialFile(dir, dir + "System/Core.u"), dir + "System/Core.u.updtmp");
  EXPECT_EQ(BeginDownloadFile(dir, dir + "Core.u.gz"), dir + "Core.u.gz.dltmp");
  EXPECT_EQ(NoteTemporaryFile(dir, dir + "Maps.bnd"), dir + "Maps.bnd");
  EXPECT_EQ(Journal(), std::string("System/Core.u.updtmp\0Core.u.gz.dltmp\0Maps.bnd\0", 46));
  EXPECT_THROW(NoteTemporaryFile(dir, "/elsewhere/file.updtmp"), Exception);
}

TEST_F(InstallJournalTest, SweepRemovesWhatAKilledRunLeft) {
  const std::string dir = game.path();
  game.Write("System/Core.u", "installed");
  game.Write("System/Core.u.updtmp", "half written");
  game.Write("Core.u.gz.dltmp", "half received");
  game.Write("Maps.bnd", "unpacked bundle");
  fs::create_directories(dir + "Stuck.updtmp");  // cannot be removed as a file
  game.Write("outside.txt", "not ours");
  game.Write("updtmp.dat", std::string("System/Core.u.updtmp\0Core.u.gz.dltmp\0Maps.bnd\0Gone.updtmp\0"
                                       "Stuck.updtmp\0../outside.txt\0/etc/hostname\0",
                                       100));
  const Paths problems = SweepTemporaryFiles(dir);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find(dir + "Stuck.updtmp"), std::string::npos) << problems[0];
  for (const char* gone : {"System/Core.u.updtmp", "Core.u.gz.dltmp", "Maps.bnd"})
    EXPECT_FALSE(fs::exists(dir + gone)) << gone;
  EXPECT_EQ(game.Read("System/Core.u"), "installed");
  EXPECT_EQ(game.Read("outside.txt"), "not ours") << "names that leave the game folder are never touched";
  EXPECT_EQ(Journal(), std::string("Stuck.updtmp\0", 13)) << "what stays is tried again next time";

  fs::remove(dir + "Stuck.updtmp");
  EXPECT_TRUE(SweepTemporaryFiles(dir).empty());
  EXPECT_FALSE(fs::exists(dir + "updtmp.dat"));
  EXPECT_TRUE(SweepTemporaryFiles(dir).empty()) << "no journal: nothing to do";
}

TEST_F(InstallJournalTest, FlushTakesEveryInstalledFileOnce) {
  const std::string dir = game.path();
  Paths flushed;
  SetInstalledFileFlusher([&](const Paths& paths) { flushed.insert(flushed.end(), paths.begin(), paths.end()); });
  // Installed: A (twice), Sub/B; still being written: C; passed over: D
  // (never installed), a download and a bundle that are gone.
  for (const char* name : {"A.txt", "Sub/B.txt", "A.txt", "C.txt", "D.txt"}) BeginPartialFile(dir, dir + name);
  BeginDownloadFile(dir, dir + "E.gz");
  NoteTemporaryFile(dir, dir + "Maps.bnd");
  game.Write("A.txt", "a");
  game.Write("Sub/B.txt", "b");
  game.Write("C.txt", "old c");
  game.Write("C.txt.updtmp", "new c, half");

  EXPECT_TRUE(FlushInstalledFiles(dir).empty());
  EXPECT_EQ(flushed, (Paths{dir + "A.txt", dir + "Sub/B.txt", dir, dir + "Sub/"}))
      << "the files, then the folders that hold them (a new folder's name is in its parent)";
  EXPECT_EQ(Journal(), std::string("C.txt.updtmp\0", 13)) << "a file still there stays noted";

  flushed.clear();
  fs::remove(dir + "C.txt.updtmp");
  EXPECT_TRUE(FlushInstalledFiles(dir).empty());
  EXPECT_EQ(flushed, (Paths{dir + "C.txt", dir}));
  EXPECT_FALSE(fs::exists(dir + "updtmp.dat"));

  SCOPED_TRACE("the real flush");
  SetInstalledFileFlusher(nullptr);
  BeginPartialFile(dir, dir + "A.txt");
  EXPECT_TRUE(FlushInstalledFiles(dir).empty());
  EXPECT_FALSE(fs::exists(dir + "updtmp.dat"));
}

// A flush in the middle of a run keeps the notes of files that work beside
// it (fetches ahead) may still create: once created, the next sweep finds them.
TEST_F(InstallJournalTest, FlushKeepsTheNotesOfFilesStillToCome) {
  const std::string dir = game.path();
  SetInstalledFileFlusher([](const Paths&) {});
  NoteTemporaryFile(dir, dir + "A.bin.updtmp.ahead3");
  NoteTemporaryFile(dir, dir + "B.bin.updtmp.ahead1");
  BeginPartialFile(dir, dir + "C.txt");
  game.Write("C.txt", "c");
  const StillToCome still_to_come = [](const std::string& name) { return name == "A.bin.updtmp.ahead3"; };
  EXPECT_TRUE(FlushInstalledFiles(dir, still_to_come).empty());
  EXPECT_EQ(Journal(), "A.bin.updtmp.ahead3\0"s) << "the installed file and the settled plan are dropped";
  game.Write("A.bin.updtmp.ahead3", "fetched after the flush");
  EXPECT_TRUE(SweepTemporaryFiles(dir).empty());
  EXPECT_FALSE(fs::exists(dir + "A.bin.updtmp.ahead3"));

  SCOPED_TRACE("without work beside it, a note of a file not there goes");
  NoteTemporaryFile(dir, dir + "A.bin.updtmp.ahead3");
  EXPECT_TRUE(FlushInstalledFiles(dir).empty());
  EXPECT_FALSE(fs::exists(dir + "updtmp.dat"));
}

TEST_F(InstallJournalTest, SweepOfTheRunKeepsPartialDownloadsThatCanBeContinued) {
  const std::string dir = game.path();
  const DownloadOrigin core{"Core.gz", 100, "2", "ab12"};
  const DownloadOrigin help{"Help.txt", 50, "3", ""};
  EXPECT_EQ(NoteDownloadOf(dir, dir + "Core.gz.dltmp", core), dir + "Core.gz.dltmp");
  NoteDownloadOf(dir, dir + "Help/Help.txt.updtmp", help);
  NoteDownloadOf(dir, dir + "Empty.gz.dltmp", {"Empty.gz", 100, "1", ""});
  NoteDownloadOf(dir, dir + "Whole.gz.dltmp", {"Whole.gz", 5, "1", ""});
  NoteDownloadOf(dir, dir + "Unlisted.gz.dltmp", {"Unlisted.gz", -1, "1", ""});
  NoteDownloadOf(dir, dir + "Later.gz.dltmp", {"Later.gz", 100, "1", ""});
  BeginDownloadFile(dir, dir + "Later.gz");  // noted again without its origin: the last note counts
  BeginPartialFile(dir, dir + "Maps/Town.map");
  game.Write("Core.gz.dltmp", "first bytes");
  game.Write("Help/Help.txt.updtmp", "help");
  game.Write("Empty.gz.dltmp", "");
  game.Write("Whole.gz.dltmp", "12345");
  game.Write("Unlisted.gz.dltmp", "12");
  game.Write("Later.gz.dltmp", "12");
  game.Write("Maps/Town.map.updtmp", "half a member");

  KeptDownloads kept;
  EXPECT_TRUE(SweepTemporaryFiles(dir, kept).empty());
  for (const char* gone : {"Empty.gz.dltmp", "Whole.gz.dltmp", "Unlisted.gz.dltmp", "Later.gz.dltmp",
                           "Maps/Town.map.updtmp"})
    EXPECT_FALSE(fs::exists(dir + gone)) << gone << ": nothing to continue";
  EXPECT_EQ(game.Read("Core.gz.dltmp"), "first bytes");
  EXPECT_EQ(game.Read("Help/Help.txt.updtmp"), "help");
  EXPECT_EQ(Journal(), "Core.gz.dltmp\0/download\n100\n2\nab12\nCore.gz\0"
                      "Help/Help.txt.updtmp\0/download\n50\n3\n\nHelp.txt\0"s)
      << "the kept partials stay noted with their origins";

  {
    SCOPED_TRACE("an entry that changed is told apart; a path is taken once");
    EXPECT_EQ(kept.Take(dir + "Core.gz.dltmp", {"Core.gz", 100, "3", "ab12"}), KeptDownloads::Match::kChanged);
    EXPECT_EQ(kept.Take(dir + "Core.gz.dltmp", core), KeptDownloads::Match::kNone) << "taken once";
    EXPECT_EQ(kept.Take(dir + "Other.dltmp", core), KeptDownloads::Match::kNone);
  }
  {
    SCOPED_TRACE("a change in any field, or in the file's size, is a change");
    for (const DownloadOrigin& other :
         {DownloadOrigin{"Help.TXT", 50, "3", ""}, DownloadOrigin{"Help.txt", 51, "3", ""},
          DownloadOrigin{"Help.txt", 50, "4", ""},
          DownloadOrigin{"Help.txt", 50, "3", "cd34"}}) {
      KeptDownloads again;
      again.Add(dir + "Help/Help.txt.updtmp", help, 4);
      EXPECT_EQ(again.Take(dir + "Help/Help.txt.updtmp", other), KeptDownloads::Match::kChanged) << other.remote;
    }
    KeptDownloads grown;
    grown.Add(dir + "Help/Help.txt.updtmp", help, 3);
    EXPECT_EQ(grown.Take(dir + "Help/Help.txt.updtmp", help), KeptDownloads::Match::kChanged);
    KeptDownloads same;
    same.Add(dir + "Help/Help.txt.updtmp", help, 4);
    EXPECT_EQ(same.Take(dir + "Help/Help.txt.updtmp", help), KeptDownloads::Match::kSame);
  }
  {
    SCOPED_TRACE("what no entry took goes at the run's end");
    EXPECT_FALSE(kept.empty());
    EXPECT_TRUE(kept.DiscardUnused().empty());
    EXPECT_TRUE(kept.empty());
    EXPECT_FALSE(fs::exists(dir + "Help/Help.txt.updtmp"));
    EXPECT_EQ(game.Read("Core.gz.dltmp"), "first bytes") << "taken: its download owns it";
  }
  {
    SCOPED_TRACE("the flush keeps the origins of what is still there");
    EXPECT_TRUE(FlushInstalledFiles(dir).empty());
    EXPECT_EQ(Journal(), "Core.gz.dltmp\0/download\n100\n2\nab12\nCore.gz\0"s);
  }
  {
    SCOPED_TRACE("the sweep of the file check and verify removes them all");
    EXPECT_TRUE(SweepTemporaryFiles(dir).empty());
    EXPECT_FALSE(fs::exists(dir + "Core.gz.dltmp"));
    EXPECT_FALSE(fs::exists(dir + "updtmp.dat"));
  }
}

TEST_F(InstallJournalTest, OriginRecordsThatCannotBeReadAreIgnored) {
  const std::string dir = game.path();
  for (const char* name : {"A.dltmp", "B.dltmp", "C.dltmp", "D.dltmp"}) game.Write(name, "xy");
  // An origin before any name, one after a refused name, a size that is no
  // number, one with a field missing; and a journal of names only.
  game.Write("updtmp.dat",
             "/download\n9\n1\n\nA\0"
             "../out\0/download\n9\n1\n\nA\0"
             "A.dltmp\0/download\nnine\n1\n\nA\0"
             "B.dltmp\0/download\n9\n1\n\0"
             "C.dltmp\0/download\n9\n1\n\nC\0"
             "D.dltmp\0"s);
  KeptDownloads kept;
  EXPECT_TRUE(SweepTemporaryFiles(dir, kept).empty());
  EXPECT_FALSE(fs::exists(dir + "A.dltmp"));
  EXPECT_FALSE(fs::exists(dir + "B.dltmp"));
  EXPECT_EQ(game.Read("C.dltmp"), "xy");
  EXPECT_FALSE(fs::exists(dir + "D.dltmp"));
  EXPECT_EQ(kept.Take(dir + "C.dltmp", {"C", 9, "1", ""}), KeptDownloads::Match::kSame);
}

}  // namespace
