#include "update/install_journal.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/errors.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
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

}  // namespace
