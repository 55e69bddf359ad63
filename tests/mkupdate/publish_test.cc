#include "publish.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "lists/digest_fields.h"
#include "lists/list_file.h"
#include "server_list.h"
#include "lists/pending_list.h"
#include "platform/errors.h"
#include "publish_fixture.h"
#include "set_check.h"
#include "trust/sha256.h"

namespace mkupdate {
namespace {

namespace fs = std::filesystem;

TEST_F(PublishTest, RepublishingKeepsUnchangedEntriesAndRaisesChangedOnes) {
  Write("System/Core.u", std::string(5000, 'c'));
  Write("Help/Readme.txt", "read me\n");
  Write("Maps/Old.map", std::string(3000, 'm'));
  Write("update.lck", "1234\n");  // the lock of an updater running in the publisher's game folder
  std::string first = Run(8);
  EXPECT_NE(first.find("3 new"), std::string::npos) << first;
  EXPECT_EQ(Entry("update.lck"), "");
  EXPECT_EQ(LineField(Entry("System\\Core.u"), 1), "E");
  EXPECT_EQ(LineField(Entry("System\\Core.u"), 2), "Core.GZP");
  EXPECT_EQ(LineField(Entry("System\\Core.u"), 4), "2026120800");
  EXPECT_EQ(LineField(Entry("Help\\Readme.txt"), 1), "O");  // too small to gain from gzip
  EXPECT_EQ(LineField(Entry("Help\\Readme.txt"), 5), "8");
  EXPECT_TRUE(CheckServerFolder(server()).empty());

  {
    SCOPED_TRACE("same day: a change gets a greater version of the same width");
    Write("System/Core.u", std::string(5000, 'd'));
    fs::remove(root_ / "game/Maps/Old.map");
    std::string second = Run(8);
    EXPECT_NE(second.find("changed E System\\Core.u"), std::string::npos) << second;
    EXPECT_NE(second.find("dropped Maps\\Old.map"), std::string::npos) << second;
    EXPECT_NE(second.find("removed Old.GZP"), std::string::npos) << second;
    EXPECT_EQ(LineField(Entry("System\\Core.u"), 4), "2026120801");
    EXPECT_EQ(LineField(Entry("Help\\Readme.txt"), 4), "2026120800");
    EXPECT_EQ(Entry("Maps\\Old.map"), "");
    EXPECT_FALSE(fs::exists(root_ / "server/Old.GZP"));
    EXPECT_TRUE(CheckServerFolder(server()).empty());
  }
  {
    SCOPED_TRACE("nothing changed: the list stays as it is");
    LineList before = List();
    std::string third = Run(9);
    EXPECT_NE(third.find("0 new, 0 changed, 2 unchanged"), std::string::npos) << third;
    EXPECT_EQ(List(), before);
  }
  {
    SCOPED_TRACE("a file that returns never gets a version issued before");
    Write("Maps/Old.map", std::string(3000, 'm'));
    Run(8);  // a clock set back to the day of the first publication
    EXPECT_EQ(LineField(Entry("Maps\\Old.map"), 4), "2026120802");
  }
  {
    SCOPED_TRACE("next day: the date");
    Write("Help/Readme.txt", "read me again\n");
    Run(10);
    EXPECT_EQ(LineField(Entry("Help\\Readme.txt"), 4), "2026121000");
  }
}

TEST_F(PublishTest, EveryLineCarriesTheDigestsOfItsServedAndInstalledFiles) {
  std::string noise(6000, '\0');
  std::mt19937 random(3);
  for (char& c : noise) c = static_cast<char>(random());
  Write("System/Core.u", std::string(5000, 'c'));  // E
  Write("Music/song.ogg", "ogg data");              // O by rule
  Write("System/Noise.bin", noise);                 // E that gzip cannot shrink: O
  Write("Maps/a.map", std::string(4000, 'a'));      // C
  Write("Trees/bark.bmp", std::string(4000, 'b'));  // T, with a package
  Write("System/Game", std::string(3000, 'g'));     // E, executable
  Write("Start.sh", "#!/bin/sh\n");                 // O, executable
  for (const char* name : {"System/Game", "Start.sh"})
    std::filesystem::permissions(game() + "/" + name, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
  const std::string rules = "T Trees.bnd Trees Trees/*\nC Maps.bnd - Maps/*\nraw *.ogg\n";
  Run(8, rules);
  auto served = [&](const std::string& local) { return trust::Sha256File(server() + "/" + LineField(Entry(local), 2)); };
  auto release = [&](const std::string& name) { return trust::Sha256File(game() + "/" + name); };
  struct Expected {
    std::string local, type;
    int served_field;
    std::string installed;       // empty for bundles
    std::string installed_size;  // "E": what the updater's unpack may write; "O": field 5 again
    std::string flag;            // the mode flag; empty for bundles
  };
  const Expected expected[] = {{"System\\Core.u", "E", 6, release("System/Core.u"), "5000", "-"},
                               {"System\\Game", "E", 6, release("System/Game"), "3000", "x"},
                               {"Start.sh", "O", 6, release("Start.sh"), "10", "x"},
                               {"Music\\song.ogg", "O", 6, release("Music/song.ogg"), "8", "-"},
                               {"System\\Noise.bin", "O", 6, release("System/Noise.bin"), "6000", "-"},
                               {"Maps.bnd", "C", 6, "", "", ""},
                               {"Trees.bnd", "T", 7, "", "", ""}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.local);
    const std::string line = Entry(e.local);
    EXPECT_EQ(LineField(line, 1), e.type);
    EXPECT_EQ(LineField(line, e.served_field), served(e.local));
    if (!e.installed.empty()) {
      EXPECT_EQ(LineField(line, 7), e.installed);
    }
    if (!e.installed_size.empty()) {
      EXPECT_EQ(LineField(line, 8), e.installed_size);
      EXPECT_EQ(LineField(line, 9), e.flag);
    }
    EXPECT_EQ(LineField(line, e.installed.empty() ? e.served_field + 1 : 10), "");
  }
  EXPECT_EQ(LineField(Entry("Trees.bnd"), 6), "Trees");
  EXPECT_EQ(LineField(Entry("Music\\song.ogg"), 6), LineField(Entry("Music\\song.ogg"), 7));
  EXPECT_TRUE(CheckServerFolder(server()).empty());
  const LineList published = List();
  {
    SCOPED_TRACE("a list of an older publisher gains the digests and flags; only executable entries change");
    LineList old = published;
    for (size_t i = 1; i < old.size(); ++i) {
      int fields = LineField(old[i], 1) == "T" ? 6 : 5;
      std::string line = LineField(old[i], 1);
      for (int f = 2; f <= fields; ++f) line += " " + LineField(old[i], f);
      old[i] = line;
    }
    SaveListFile(server() + "/update3.dat", old);
    EXPECT_TRUE(CheckServerFolder(server()).empty());  // unsigned: the digests are optional
    std::ofstream(server() + "/update3.dat.minisig") << "a signed set needs them\n";
    std::vector<std::string> problems = CheckServerFolder(server());
    EXPECT_EQ(problems.size(), 9u);  // seven served files and the E entries' installed ones (O installs as served)
    for (const std::string& problem : problems) EXPECT_NE(problem.find("no SHA-256 of the "), std::string::npos) << problem;
    fs::remove(server() + "/update3.dat.minisig");
    std::string out = Run(9, rules);
    // Players' files lack the execute bits an older list could not give.
    EXPECT_NE(out.find("0 new, 2 changed, 5 unchanged"), std::string::npos) << out;
    const LineList republished = List();
    ASSERT_EQ(republished.size(), published.size());
    for (size_t i = 1; i < published.size(); ++i) {
      SCOPED_TRACE(published[i]);
      const bool executable = LineField(published[i], 9) == "x";
      EXPECT_EQ(LineField(republished[i], 4), executable ? "2026120900" : "2026120800");
      for (int f : {1, 2, 3, 5, 6, 7, 8, 9, 10}) EXPECT_EQ(LineField(republished[i], f), LineField(published[i], f));
    }
  }
  {
    SCOPED_TRACE("a server file swapped for other bytes of the same size");
    std::ofstream(server() + "/" + LineField(Entry("Music\\song.ogg"), 2), std::ios::binary) << "OGG DATA";
    std::vector<std::string> problems = CheckServerFolder(server());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("song.ogg): the SHA-256 of the served file (field 6) differs"), std::string::npos)
        << problems[0];
    std::string out = Run(9, rules);
    EXPECT_NE(out.find("changed O Music\\song.ogg"), std::string::npos) << out;
    EXPECT_EQ(LineField(Entry("Music\\song.ogg"), 6), release("Music/song.ogg"));
    EXPECT_TRUE(CheckServerFolder(server()).empty());
  }
  {
    SCOPED_TRACE("sizes are read in 64 bits; a type in small letters is no entry");
    const LineList good = List();
    for (const auto& [size, problem] : std::vector<std::pair<std::string, std::string>>{
             {"5368709120", "song.ogg): the list says 5368709120 bytes, the server file has 8"},
             {"9223372036854775808", "size \"9223372036854775808\" is not a decimal number the updater can read"}}) {
      LineList edited = good;
      for (std::string& line : edited)
        if (LineField(line, 3) == "Music\\song.ogg") line.replace(line.find(" 8 "), 3, " " + size + " ");
      SaveListFile(server() + "/update3.dat", edited);
      const std::vector<std::string> problems = CheckServerFolder(server());
      ASSERT_EQ(problems.size(), 1u) << size;
      EXPECT_NE(problems[0].find(problem), std::string::npos) << problems[0];
    }
    LineList edited = good;
    edited[1][0] = static_cast<char>(edited[1][0] - 'A' + 'a');
    SaveListFile(server() + "/update3.dat", edited);
    const ServerListFile parsed = ParseServerList(edited);
    ASSERT_EQ(parsed.problems.size(), 1u);
    EXPECT_EQ(parsed.problems[0], "update3.dat line 2: unknown entry type \"" + std::string(1, edited[1][0]) + "\"");
    SaveListFile(server() + "/update3.dat", good);
  }
}

// Players get a file's execute bits only with a new version of its entry,
// so a change of the bits alone is a change of the entry; an older list's
// line without a flag already serves a file that is not executable.
TEST_F(PublishTest, AChangedExecuteBitIssuesTheEntryAgain) {
  Write("Start.sh", "#!/bin/sh\n");
  Write("Help.txt", "help");
  Run(8);
  ASSERT_EQ(LineField(Entry("Start.sh"), 9), "-");
  {
    SCOPED_TRACE("the bit set");
    std::filesystem::permissions(game() + "/Start.sh", std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    Run(9);
    EXPECT_EQ(LineField(Entry("Start.sh"), 4), "2026120900");
    EXPECT_EQ(LineField(Entry("Start.sh"), 9), "x");
    EXPECT_EQ(LineField(Entry("Help.txt"), 4), "2026120800");
  }
  {
    SCOPED_TRACE("an older list without flags");
    LineList old = List();
    for (size_t i = 1; i < old.size(); ++i) {
      std::string line = LineField(old[i], 1);
      for (int f = 2; f <= 8; ++f) line += " " + LineField(old[i], f);
      old[i] = line;
    }
    std::ofstream(server() + "/update3.dat", std::ios::binary) << JoinLines(old);
    Run(10);
    EXPECT_EQ(LineField(Entry("Start.sh"), 4), "2026121000");  // the bit must reach players
    EXPECT_EQ(LineField(Entry("Help.txt"), 4), "2026120800");
    EXPECT_EQ(LineField(Entry("Help.txt"), 9), "-");
  }
}

TEST_F(PublishTest, ListsWithDigestsPassThroughTheComparisonAsEveryUpdaterReadsThem) {
  Write("System/Core.u", std::string(5000, 'c'));
  Write("Music/song.ogg", "ogg data");
  Write("Trees/bark.bmp", std::string(4000, 'b'));
  Run(8, "T Trees.bnd Trees Trees/*\nraw *.ogg\n");
  const LineList server_list = List();
  // Core.u is installed in an older version; the others are new.
  const PendingEntries result = ComparePendingEntries(server_list, {"AVWSEN", "System\\Core.u 2026120700"});
  ASSERT_EQ(result.pending.size(), 3u);
  for (size_t i = 1; i < server_list.size(); ++i) {
    const std::string& line = server_list[i];
    const std::string& pending = result.pending[i - 1];
    SCOPED_TRACE(line);
    EXPECT_EQ(result.names[i - 1], LineField(line, 3));
    bool changed = LineField(line, 3) == "System\\Core.u";
    EXPECT_EQ(pending, changed ? "U 1 " + line : line);  // the whole line, digests included, travels on
    // The fields the installation reads: type, remote name, local name, version, size, package.
    int first = changed ? 3 : 1;
    for (int f = 1; f <= 5; ++f) EXPECT_EQ(LineField(pending, first + f - 1), LineField(line, f));
    if (LineField(line, 1) == "T") {
      EXPECT_EQ(LineField(pending, first + 5), "Trees");
    }
  }
}

TEST_F(PublishTest, FilesWithoutADotInSeveralFoldersGetServerNamesOfTheirOwn) {
  Write("a/DATA", std::string(1024, 'a'));
  Write("b/DATA", std::string(1024, 'b'));
  Write("c/DATA", std::string(5000, 'c'));  // compressed: DATA.GZP
  // In a child with a deadline, so that a search for a free name that never
  // ends fails the test instead of stalling it.
  ASSERT_EXIT(
      {
        alarm(30);
        Run(8, "raw a/* b/*\n");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(LineField(Entry("a\\DATA"), 1), "O");
  EXPECT_EQ(LineField(Entry("a\\DATA"), 2), "DATA");
  EXPECT_EQ(LineField(Entry("b\\DATA"), 1), "O");
  EXPECT_EQ(LineField(Entry("b\\DATA"), 2), "DATA~2.raw");
  EXPECT_EQ(LineField(Entry("c\\DATA"), 2), "DATA.GZP");
  EXPECT_TRUE(CheckServerFolder(server()).empty());
}

TEST_F(PublishTest, AServerFolderThatDoesNotExistYetIsCreated) {
  Write("System/Core.u", std::string(5000, 'c'));
  fs::remove(server());
  std::string nested = server() + "/update/set";
  PublishOptions options;
  options.game_dir = game();
  options.server_dir = nested;
  options.now = Utc(8);
  std::ostringstream out;
  Publish(options, out);
  EXPECT_NE(out.str().find("1 new"), std::string::npos) << out.str();
  EXPECT_EQ(LineField(LoadListFile(nested + "/update3.dat").at(1), 2), "Core.GZP");
  EXPECT_TRUE(CheckServerFolder(nested).empty());
}

TEST_F(PublishTest, ChangedImportBundleBecomesANewEntryWithTheSamePackage) {
  Write("Trees/bark.bmp", std::string(4000, 'b'));
  Write("Trees/leaf.bmp", std::string(4000, 'l'));
  Write("Maps/a.map", std::string(4000, 'a'));
  std::string rules = "T Trees.bnd Trees Trees/*\nC Maps.bnd - maps/*.MAP\n";
  Run(8, rules);
  EXPECT_EQ(LineField(Entry("Trees.bnd"), 2), "Trees.bnd.gz");
  EXPECT_EQ(LineField(Entry("Trees.bnd"), 6), "Trees");
  EXPECT_EQ(LineField(Entry("Maps.bnd"), 1), "C");
  EXPECT_TRUE(trust::IsSha256Hex(LineField(Entry("Maps.bnd"), 6)));  // no package: the digest follows the size
  EXPECT_EQ(LineField(Entry("Maps.bnd"), 7), "");
  Write("Trees/leaf.bmp", std::string(4000, 'L'));
  Write("Maps/a.map", std::string(4000, 'A'));
  Run(8, rules);
  // The updater passes over changed T/A/S/W entries, so the new content goes out under a new local name.
  EXPECT_EQ(Entry("Trees.bnd"), "");
  std::string tree = Entry("Trees.bnd~2");
  EXPECT_EQ(LineField(tree, 4), "2026120801");
  EXPECT_EQ(NameStem(LineField(tree, 2)), "Trees");
  EXPECT_EQ(LineField(tree, 6), "Trees");
  EXPECT_EQ(LineField(Entry("Maps.bnd"), 4), "2026120801");  // C entries are replaced in place
  Run(8, rules);
  EXPECT_EQ(LineField(Entry("Trees.bnd~2"), 4), "2026120801");
  EXPECT_TRUE(CheckServerFolder(server()).empty());
}

TEST_F(PublishTest, AFailedPublishLeavesThePublishedSetAsItWas) {
  Write("Help/Readme.txt", "read me\n");
  Run(8);
  LineList before = List();
  Write("System/Core.u", std::string(5000, 'c'));
  fs::create_directory(root_ / "server/Core.GZP");  // the new file cannot be renamed into place
  EXPECT_THROW(Run(8), Exception);
  EXPECT_EQ(List(), before);
  for (const auto& entry : fs::directory_iterator(server()))
    EXPECT_EQ(entry.path().filename().string().find(".mkupdate-tmp"), std::string::npos) << entry.path();
  EXPECT_TRUE(CheckServerFolder(server()).empty());
  fs::remove(root_ / "server/Core.GZP");
  Run(8);
  EXPECT_EQ(LineField(Entry("System\\Core.u"), 2), "Core.GZP");
}

TEST_F(PublishTest, AReplacementStoppedHalfWayIsPublishedAgain) {
  Write("System/Core.u", std::string(5000, 'c'));
  Run(8);
  std::ofstream(root_ / "server/.mkupdate-replacing") << "System\\Core.u\r\n";
  std::string out = Run(8);
  EXPECT_NE(out.find("changed E System\\Core.u"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(root_ / "server/.mkupdate-replacing"));
  EXPECT_EQ(LineField(Entry("System\\Core.u"), 4), "2026120801");
}

TEST_F(PublishTest, VersionsOfMixedWidthOrTooSmallAreRefused) {
  Write("a.txt", std::string(100, 'a'));
  Write("b.txt", std::string(100, 'b'));
  Run(8);
  Write("a.txt", std::string(100, 'x'));
  EXPECT_THROW(Run(8, "", "2026120800"), Exception);  // not greater than what was issued
  Run(8, "", "2026120850");
  EXPECT_EQ(LineField(Entry("a.txt"), 4), "2026120850");
  // A hand-edited list that mixes widths: the tool cannot choose a safe version.
  LineList lines = List();
  for (std::string& line : lines)
    if (LineField(line, 3) == "b.txt") line = "E " + LineField(line, 2) + " b.txt 9 " + LineField(line, 5);
  SaveListFile(server() + "/update3.dat", lines);
  Write("a.txt", std::string(100, 'y'));
  EXPECT_THROW(Run(8), Exception);
}

TEST_F(PublishTest, ReleasesTheUpdaterCannotInstallAreRefusedBeforeAnythingIsWritten) {
  auto refused = [&](const std::string& rules, const std::string& mention) {
    try {
      Run(8, rules);
      ADD_FAILURE() << "published although " << mention;
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find(mention), std::string::npos) << error.what();
    }
    EXPECT_FALSE(fs::exists(root_ / "server/update3.dat"));
    EXPECT_TRUE(fs::is_empty(server()));
  };
  Write("Maps/a.map", "a");
  Write("Maps/A.MAP", "b");
  refused("", "differ only in case");
  fs::remove(root_ / "game/Maps/A.MAP");
  refused("T Trees.bnd - Maps/*\n", "needs a package name");
  refused("X Trees.bnd Trees Maps/*\n", "unknown rule");
  refused("C Maps.bnd - Nothing/*\n", "match no file");
  refused("C Maps.bnd - Maps/*\nC Other.bnd - *.map\n", "is in two bundles");
  refused("C Maps.bnd.updtmp - Maps/*\n", "temporary files");
  for (int i = 0; i < 101; ++i) Write("Many/" + std::to_string(i), "x");
  refused("C Many.bnd - Many/*\n", "at most 100");
  fs::remove_all(root_ / "game/Many");
  {
    SCOPED_TRACE("a server folder inside the game folder would publish itself");
    PublishOptions nested;
    nested.game_dir = game();
    nested.server_dir = game() + "/Maps";
    std::ostringstream out;
    EXPECT_THROW(Publish(nested, out), Exception);
  }
  std::string long_name = "Deep/" + std::string(76, 'n');  // "Deep\" + 76 = 81 bytes
  Write(long_name, "x");
  refused("C Deep.bnd - Deep/*\n", "at most 80");
}

// Links inside the release are published as what they name; links that
// leave it or loop back into a folder above them, and names the updater
// keeps for its temporary files, are problems that stop the publish.
TEST_F(PublishTest, LinksArePublishedAsWhatTheyNameUnlessTheyLeaveOrLoop) {
  Write("System/Core.u", "core");
  Write("Maps/a.map", "map");
  fs::create_symlink(root_ / "game/System/Core.u", root_ / "game/CoreLink.u");
  fs::create_directory_symlink(root_ / "game/Maps", root_ / "game/System/MapsLink");
  for (const char* state : {"update2.dat", "updtmp.dat", "update2.sig.ts", "Update3.dat"}) Write(state, "state");
  Write("Sub/updtmp.dat", "not state below the top folder");
  Run(8);
  const int installed = InstalledDigestField('E');
  EXPECT_EQ(LineField(Entry("CoreLink.u"), installed), trust::Sha256File(game() + "/System/Core.u"));
  EXPECT_EQ(LineField(Entry("System\\MapsLink\\a.map"), installed), trust::Sha256File(game() + "/Maps/a.map"));
  for (const char* state : {"update2.dat", "updtmp.dat", "update2.sig.ts", "Update3.dat"})
    EXPECT_EQ(Entry(state), "") << state << " is the player's state, never published";
  EXPECT_NE(Entry("Sub\\updtmp.dat"), "");
  const LineList published = List();

  fs::create_directories(root_ / "elsewhere");
  std::ofstream(root_ / "elsewhere/secret.txt") << "secret";
  fs::create_directory_symlink(root_ / "elsewhere", root_ / "game/Out");
  fs::create_symlink(root_ / "elsewhere/secret.txt", root_ / "game/Maps/secret.txt");
  fs::create_directory_symlink(root_ / "game/System", root_ / "game/System/loop");
  fs::create_directory_symlink(root_ / "game", root_ / "game/Maps/up");
  for (const char* name : {"Data/x.bin.updtmp", "a.GZP.DLTMP", "b.dltmp.ahead7"}) Write(name, "x");
  try {
    Run(9);
    ADD_FAILURE() << "published links that leave the release or loop";
  } catch (const Exception& error) {
    const std::string text = error.what();
    for (const char* name : {"Out: the link leads out of the release folder", "Maps/secret.txt: the link leads out",
                             "System/loop: the link leads back", "Maps/up: the link leads back",
                             "System/MapsLink/up: the link leads back", "Data/x.bin.updtmp: the name ends in",
                             "a.GZP.DLTMP: the name ends in", "b.dltmp.ahead7: the name ends in"})
      EXPECT_NE(text.find(name), std::string::npos) << name << " not in: " << text;
    EXPECT_EQ(text.find("elsewhere/secret.txt:"), std::string::npos) << text;
  }
  EXPECT_EQ(List(), published);
}

}  // namespace
}  // namespace mkupdate
