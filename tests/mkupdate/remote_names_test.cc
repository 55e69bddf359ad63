#include "remote_names.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

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
    SCOPED_TRACE("names without a dot share the empty base: one server name claims it, the others get their own");
    RemoteNamer dotless({}, {});
    EXPECT_EQ(dotless.Assign('O', "a\\DATA"), "DATA");
    EXPECT_EQ(dotless.Assign('O', "b\\DATA"), "DATA~2.raw");
    EXPECT_EQ(dotless.Assign('O', "c\\data"), "data~3.raw");
    EXPECT_EQ(dotless.Assign('O', "README"), "README~2.raw");
    EXPECT_EQ(dotless.Assign('O', "Home\\.profile"), "~2.profile");  // its base is empty as well
    EXPECT_EQ(dotless.Assign('E', "d\\DATA"), "DATA.GZP");
    RemoteNamer foreign({}, {"LICENSE"});  // a file the server lists beside the set holds the empty base
    EXPECT_EQ(foreign.Assign('O', "Docs\\COPYING"), "COPYING~2.raw");
  }
  {
    SCOPED_TRACE("kept names stay unique");
    RemoteNamer kept({}, {});
    kept.Keep("Core.GZP");
    EXPECT_EQ(kept.Assign('E', "System\\Core.u"), "Core~2.GZP");
  }
}

// A release's names as the namer meets them, and what the server lists beside them.
struct NamingCase {
  const char* what;
  std::vector<std::string> reserved;
  std::vector<std::string> listed;
  std::vector<std::pair<char, std::string>> files;  // type, local name
};

std::vector<std::pair<char, std::string>> InFolders(char type, const std::string& name, int count) {
  std::vector<std::pair<char, std::string>> files;
  for (int i = 0; i < count; ++i) files.push_back({type, "Folder" + std::to_string(i) + "\\" + name});
  return files;
}

NamingCase Joined(const char* what, std::vector<std::vector<std::pair<char, std::string>>> groups,
                  std::vector<std::string> reserved = {}, std::vector<std::string> listed = {}) {
  NamingCase joined{what, std::move(reserved), std::move(listed), {}};
  for (const auto& group : groups) joined.files.insert(joined.files.end(), group.begin(), group.end());
  return joined;
}

void PrintTo(const NamingCase& naming, std::ostream* out) { *out << naming.what; }

class UniqueRemoteNamesTest : public ::testing::TestWithParam<NamingCase> {};

// Every name is new to the server folder, every "E"/"O" name has a base of
// its own (the file check repairs by base), and no download overwrites a
// top-level file of the game.
TEST(RemoteNamesTest, AnIndexedNameLeavesItsIndexNameAndItsBaseFree) {
  RemoteNamer namer({}, {"Core.GZP.cdx"});  // a foreign file where Core.GZP's index would go
  EXPECT_EQ(namer.Assign('E', "System\\Core.u"), "Core.GZP") << "without an index the name is free";
  EXPECT_EQ(namer.Assign('E', "Other\\Core.u", true), "Core~2.GZP");
  EXPECT_EQ(namer.Assign('O', "Docs\\Core~2.GZP.txt"), "Core~2.GZP~2.txt")
      << "the index Core~2.GZP.cdx has the base Core~2.GZP, which a repairable name may not share";
  EXPECT_EQ(namer.Assign('O', "Docs\\Core~2.GZP.cdx"), "Core~2.GZP~3.cdx");
  RemoteNamer kept({}, {"Readme.txt.cdx"});
  EXPECT_FALSE(kept.Keep("Readme.txt", true)) << "the kept entry must go without its index";
  EXPECT_TRUE(kept.Keep("Help.txt", true));
  EXPECT_EQ(kept.Assign('O', "Help.txt.cdx"), "Help.txt~2.cdx");
}

TEST_P(UniqueRemoteNamesTest, NoNameOrRepairBaseIsShared) {
  const NamingCase& naming = GetParam();
  auto upper = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  };
  auto base = [&](const std::string& name) {
    size_t dot = name.rfind('.');
    return upper(dot == std::string::npos ? "" : name.substr(0, dot));
  };
  std::set<std::string> names, bases, reserved;
  for (const std::string& name : naming.listed) names.insert(upper(name)), bases.insert(base(name));
  for (const std::string& name : naming.reserved) reserved.insert(upper(name));
  RemoteNamer namer(naming.reserved, naming.listed);
  for (const auto& [type, local] : naming.files) {
    std::string remote = namer.Assign(type, local);
    SCOPED_TRACE(std::string(1, type) + " " + local + " -> " + remote);
    EXPECT_TRUE(names.insert(upper(remote)).second);
    if (type == 'E' || type == 'O') {
      EXPECT_TRUE(bases.insert(base(remote)).second);
    }
    if (type != 'O') {
      EXPECT_FALSE(reserved.count(upper(remote)));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Releases, UniqueRemoteNamesTest,
    ::testing::Values(
        Joined("names without a dot in many folders",
               {InFolders('O', "DATA", 40), InFolders('E', "DATA", 40), InFolders('O', "data.bin", 5),
                InFolders('O', ".profile", 5)}),
        Joined("a foreign file without a dot", {InFolders('O', "COPYING", 3)}, {}, {"LICENSE", "update3.dat"}),
        Joined("a common name, served both ways",
               {InFolders('O', "copyright", 933), InFolders('E', "copyright", 933), InFolders('O', "README.txt", 50),
                InFolders('E', "README.Debian", 50), InFolders('O', "README", 50), InFolders('T', "README", 5)}),
        Joined("release names that look numbered",
               {{{'O', "DATA~2.raw"}, {'E', "Core~2.u"}, {'O', "x\\DATA~3"}}, InFolders('O', "DATA", 4),
                InFolders('E', "Core.u", 4)}),
        Joined("top-level files of the game in the way",
               {InFolders('E', "Patch.bin", 4), InFolders('C', "Maps.bnd", 3)},
               {"Patch.GZP", "Patch~2.GZP", "Patch~4.GZP", "Maps.bnd~2.gz"})),
    [](const ::testing::TestParamInfo<NamingCase>& info) {
      std::string name;
      for (const char* c = info.param.what; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      return name;
    });

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
