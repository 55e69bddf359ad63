#include "remote_names.h"

#include <gtest/gtest.h>

namespace mkupdate {
namespace {

TEST(RemoteNamesTest, NamesLetTheFileCheckFindTheFileByBaseName) {
  RemoteNamer namer({"Quelmar.exe", "update3.dat"}, {"update3.dat", "bulletin.htm"});
  EXPECT_EQ(namer.Assign('E', "System\\Core.u"), "Core.GZP");
  EXPECT_EQ(namer.Assign('O', "Help\\Readme.txt"), "Readme.txt");
  EXPECT_EQ(namer.Assign('T', "Trees.bnd"), "Trees.bnd.gz");
  EXPECT_EQ(namer.Assign('E', "Maps\\Sys.ini.bak"), "Sys.ini.GZP");
  {
    SCOPED_TRACE("a second file of the same base, in any case, gets a name of another base");
    EXPECT_EQ(namer.Assign('E', "System\\CORE.int"), "CORE~2.GZP");
    EXPECT_EQ(namer.Assign('O', "Maps\\core.txt"), "core~3.txt");  // every listed base stays unique
    EXPECT_EQ(namer.Assign('E', "Other\\Core.u"), "Core~4.GZP");
  }
  {
    SCOPED_TRACE("names the server lists beside the set, and their bases, are not taken");
    EXPECT_EQ(namer.Assign('O', "Docs\\bulletin.txt"), "bulletin~2.txt");
    EXPECT_EQ(namer.Assign('E', "update3.dat"), "update3~2.GZP");
  }
  {
    SCOPED_TRACE("a top-level file of the game is not overwritten by a download");
    RemoteNamer top({"Patch.GZP"}, {});
    EXPECT_EQ(top.Assign('E', "Data\\Patch.bin"), "Patch~2.GZP");
    RemoteNamer own({"Empty.dat"}, {});  // an "O" file is downloaded to its own name
    EXPECT_EQ(own.Assign('O', "Empty.dat"), "Empty.dat");
  }
  {
    SCOPED_TRACE("kept names stay unique");
    RemoteNamer kept({}, {});
    kept.Keep("Core.GZP");
    EXPECT_EQ(kept.Assign('E', "System\\Core.u"), "Core~2.GZP");
  }
}

TEST(RemoteNamesTest, RepairWarningsNameWhatTheCheckCannotRepair) {
  std::vector<InstalledFile> files = {{"System\\Core.u", "Core.GZP"},
                                      {"System\\Core.int", "Core~2.GZP"},
                                      {"Help\\Readme.txt", "Readme.txt"},
                                      {"Trees\\bark.bmp", ""},
                                      {"Trees\\leaf.bmp", ""},
                                      {"Docs\\bulletin.txt", "bulletin~2.txt"}};
  std::vector<std::string> listing = {"Core.GZP", "Core~2.GZP", "Readme.txt", "bulletin.htm", "bulletin~2.txt",
                                      "update3.dat"};
  std::vector<std::string> warnings = RepairWarnings(files, listing);
  auto mentions = [&](const std::string& a, const std::string& b) {
    for (const std::string& w : warnings)
      if (w.find(a) != std::string::npos && w.find(b) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(mentions("System\\Core.int", "from Core.GZP"));
  EXPECT_TRUE(mentions("Docs\\bulletin.txt", "bulletin.htm"));
  EXPECT_TRUE(mentions("2 bundle member(s)", "cannot be repaired"));
  EXPECT_FALSE(mentions("System\\Core.u", ""));
  EXPECT_FALSE(mentions("Readme.txt", ""));
  EXPECT_EQ(warnings.size(), 3u);
}

}  // namespace
}  // namespace mkupdate
