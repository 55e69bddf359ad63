// The whole file check through the main window, repairing from a real FTP
// server (pyftpdlib) on loopback.
#include "filecheck/file_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "texts/texts.h"
#include "check_fixture.h"
#include "datec_builder.h"
#include "ftp/ftp_client.h"
#include "platform/errors.h"
#include "platform/event_loop.h"
#include "support/bundle_builder.h"
#include "support/ftp_servers.h"
#include "support/wait_until.h"
#include "trust/sha256.h"
#include "vcl/image.h"
#include "vcl/label.h"

namespace {

using test_support::BuildDatec;
using test_support::DatecEntry;
using test_support::Days;

constexpr int64_t kStamp = 1700000000;

std::string Gzipped(const std::string& bytes) {
  test_support::TempFolder scratch;
  const std::string path = scratch.path() + "data.gz";
  gzFile file = gzopen(path.c_str(), "wb");
  gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size()));
  gzclose(file);
  return scratch.Read("data.gz");
}

std::string Sha256Of(const std::string& bytes) {
  trust::Sha256Stream stream;
  stream.Update(bytes);
  return stream.Final();
}

// Whether a sentence the check reported holds `part`.
bool Reported(const std::vector<std::string>& sentences, const std::string& part) {
  return std::any_of(sentences.begin(), sentences.end(),
                     [&part](const std::string& sentence) { return sentence.find(part) != std::string::npos; });
}

class FileCheckTest : public test_support::CheckWindowTest {
 protected:
  FileCheckTest() { server = test_support::FtpServer::Start(test_support::FtpServerKind::kPyftpdlib, server_root.path()); }

  // Logs in as the update check would have, lists the server folder into
  // ListBox3 and shows the start-game button.
  void ConnectAsAfterUpdate(LineList server_list = {"header"}) {
    Transport& connection = *form->Engine.NewConnection();
    connection.Connect({"127.0.0.1", server->port(), 10000, "anonymous", "guest"});
    ASSERT_TRUE(form->Engine.IsConnected);
    connection.ListNames();
    form->Engine.ServerList = std::move(server_list);
    ShowStartGame(form->Engine);
  }

  // Puts `size` bytes last written at unix_seconds into the game folder.
  void Put(const std::string& windows_name, size_t size, int64_t unix_seconds, char fill = 'x') {
    ASSERT_TRUE(test_support::SetLastWrite(game.Write(windows_name, std::string(size, fill)), unix_seconds));
  }

  void WriteDatec(const std::vector<DatecEntry>& entries) { game.Write("datec.dat", BuildDatec(entries)); }

  std::vector<std::string> Listing() const { return form->Engine.ListingNames; }

  // The names of the server listing, as if the update check had listed them.
  void SetListing(const std::vector<std::string>& names) {
    ClearListing(form->Engine);
    for (const std::string& name : names) AddListingName(form->Engine, name);
  }

  static ::testing::AssertionResult WaitForFile(const std::string& path) {
    return test_support::WaitUntil([&] { return access(path.c_str(), F_OK) == 0; }, path);
  }

  test_support::ScopedCurrentFolder current;
  test_support::TempFolder server_root;
  std::unique_ptr<test_support::FtpServer> server;
};

// Gates and list errors: no connection is needed, none is made.
class FileCheckGateTest : public test_support::CheckWindowTest {
 protected:
  test_support::ScopedCurrentFolder current;
};

TEST_F(FileCheckGateTest, StartGateMissingListAndListErrors) {
  form->Label3->SetCaption("before");
  {
    SCOPED_TRACE("start-game button hidden: nothing at all");
    form->Image8Click();
    EXPECT_TRUE(backend.boxes.empty());
  }
  ShowStartGame(form->Engine);
  for (const auto& [letter, text] : std::vector<std::pair<char, std::string>>{
           {'n', "can not files checked"},
           {'t', "\xB5\x4C\xA4\xF1\xB9\xEF\xC0\xC9\xAE\xD7" "datec.dat"}}) {
    SCOPED_TRACE(std::string("missing datec.dat, language ") + letter);
    form->Engine.LangLetter = letter;
    backend.boxes.clear();
    form->Image8Click();
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].text, text);
    EXPECT_EQ(backend.boxes[0].buttons.size(), 1u);
  }
  form->Engine.LangLetter = 'n';
  backend.boxes.clear();
  for (const auto& [bytes, error] : std::vector<std::pair<std::string, std::string>>{
           {test_support::DatecTrailer(0), "Range check error"},
           {test_support::DatecTrailer(65537), "Range check error"},
           {std::string(83, '\1'), "I/O error " + std::to_string(ENODATA)}}) {
    SCOPED_TRACE(error);
    game.Write("datec.dat", bytes);
    try {
      form->Image8Click();
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), error);
    }
  }
  EXPECT_EQ(form->Label3->Caption(), "before");
  EXPECT_TRUE(status_texts.empty());
  EXPECT_FALSE(form->Engine.CheckMode);
  {
    SCOPED_TRACE("count 1: no records, finished at once");
    game.Write("ErrorList.TXT", "older");
    game.Write("datec.dat", test_support::DatecTrailer(1));
    form->Image8Click();
    EXPECT_EQ(status_texts, std::vector<std::string>{"files checked"});
    EXPECT_EQ(game.Read("ErrorList.TXT"), "older");
    EXPECT_FALSE(form->Engine.CheckMode);
  }
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(FileCheckTest, RepairsThroughPipelineAndListingAndListsTheRest) {
  // Server: a gzip replacement of Core.u, a plain Readme, a package file and
  // a texture bundle for the package Trees, and a name meant to escape.
  server_root.Write("CORE.GZP", Gzipped("0123456789"));
  server_root.Write("Core.\\evil", "must never be written");
  server_root.Write("readme.TXT", "fresh!");
  server_root.Write("TreesPkg.bin", "pkg!");
  const std::string bundle =
      Gzipped(test_support::BuildBundle({{"Textures\\TreesSrc\\bark.pcx", "bark"}}));
  server_root.Write("Trees.gz", bundle);
  game.Write("System\\PKG", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/pkg-args.txt\"\n");
  ASSERT_EQ(chmod(game.RealPath("System\\PKG").c_str(), 0755), 0);

  Put("System\\Core.u", 3, kStamp);
  Put("Help\\Readme.txt", 6, kStamp - 3600);
  WriteDatec({{"Core.u", "System\\", Days(kStamp), 10},
              {"Trees.utx", "Textures\\", Days(kStamp), 4},
              {"Readme.txt", "Help\\", Days(kStamp), 6},
              {"Gone.map", "Maps\\", Days(kStamp), 1}});
  ConnectAsAfterUpdate({"header", "O TreesPkg.bin Textures\\Trees.utx 1 4 Trees",
                        "T Trees.gz Trees.bnd 7 " + std::to_string(bundle.size()) + " Trees",
                        "O Other.bin Textures\\Other.utx 1 4 trees"});
  // The hostile entry first: it must be passed over and the search go on.
  std::vector<std::string> listing = Listing();
  std::stable_partition(listing.begin(), listing.end(), [](const std::string& e) { return e == "Core.\\evil"; });
  ASSERT_EQ(listing.front(), "Core.\\evil");
  SetListing(listing);

  form->Image8Click();

  EXPECT_EQ(game.Read("System\\Core.u"), "0123456789") << "unpacked from CORE.GZP";
  EXPECT_FALSE(game.Exists("System\\CORE.GZP")) << "the downloaded gzip file is deleted";
  EXPECT_FALSE(game.Exists("System\\Core.\\evil"));
  EXPECT_EQ(access((game.path() + "System/Core.\\evil").c_str(), F_OK), -1);
  EXPECT_EQ(game.Read("Help\\Readme.txt"), "fresh!") << "a plain download replaces the file";
  EXPECT_EQ(game.Read("Textures\\Trees.utx"), "pkg!") << "the package line installed through the pipeline";
  EXPECT_EQ(game.Read("Textures\\TreesSrc\\bark.pcx"), "bark") << "the bundle line too";
  EXPECT_FALSE(game.Exists("Textures\\Other.utx")) << "the package field is compared exactly";
  ASSERT_TRUE(WaitForFile(game.RealPath("System\\pkg-args.txt")));
  EXPECT_EQ(game.Read("System\\pkg-args.txt"), "pkg import texture ..\\Textures\\Trees ..\\Trees\n");
  EXPECT_TRUE(form->Engine.CheckMode);
  EXPECT_EQ(form->Engine.RecordList, std::nullopt) << "the check writes no record";

  EXPECT_EQ(status_texts, (std::vector<std::string>{"4files check to be updated", "3files check to be updated",
                                                    "2files check to be updated", "1files check to be updated",
                                                    "files can,t check, please try again"}));
  EXPECT_EQ(form->Label3->Caption(), "files can,t check, please try again");
  EXPECT_EQ(form->Label3->Left(), form->Gauge1->Left() + (form->Gauge1->Width() - form->Label3->Width()) / 2);
  EXPECT_EQ(game.Read("ErrorList.TXT"), game.path() + "Maps/Gone.map\r\n");
  EXPECT_EQ(current.folder.Read("ErrorList.TXT"), "<missing>") << "written to the game folder, not the current one";
  ASSERT_FALSE(refused.empty());
  EXPECT_NE(refused.front().find("Core.\\evil"), std::string::npos);
}

TEST_F(FileCheckTest, CountsDownToFinishedWhenEverythingIsRepaired) {
  server_root.Write("ONE.GZP", Gzipped("1"));
  server_root.Write("two.txt", "22");
  server_root.Write("Three.dat", "333");
  WriteDatec({{"One.u", "System\\", Days(kStamp), 1},
              {"Two.txt", "", Days(kStamp), 2},
              {"Three.dat", "Maps\\", Days(kStamp), 3}});
  game.Write("Maps\\keep", "");
  game.Write("System\\keep", "");
  game.Write("ErrorList.TXT", "older list");
  // A listing entry carries no mode: the server list's flag for the file gives it.
  ConnectAsAfterUpdate({"header", "E ONE.GZP System\\One.u 1 21 - - 1 x", "O Three.dat Maps\\Three.dat 1 3 - - 3 x"});
  form->Image8Click();
  EXPECT_EQ(status_texts, (std::vector<std::string>{"3files check to be updated", "2files check to be updated",
                                                    "1files check to be updated", "files checked"}));
  EXPECT_EQ(game.Read("System\\One.u"), "1");
  EXPECT_EQ(game.Read("two.txt"), "22") << "stored under the server's name";
  EXPECT_EQ(game.Read("Maps\\Three.dat"), "333");
  EXPECT_EQ(game.Read("ErrorList.TXT"), "older list");
  EXPECT_EQ(access(game.RealPath("System\\One.u").c_str(), X_OK), 0);
  EXPECT_EQ(access(game.RealPath("Maps\\Three.dat").c_str(), X_OK), 0);
  EXPECT_NE(access(game.RealPath("two.txt").c_str(), X_OK), 0) << "no line: the download's own bits";

  SCOPED_TRACE("a second run finds everything in order");
  status_texts.clear();
  WriteDatec({{"Three.dat", "Maps\\", Days(kStamp), 3}});
  form->Image8Click();
  EXPECT_EQ(status_texts, std::vector<std::string>{"files checked"});
}

TEST_F(FileCheckTest, ListingSearchCaseRules) {
  server_root.Write("TREES.GZP", Gzipped("tree"));
  server_root.Write("TOWN.GZP", Gzipped("town"));
  server_root.Write("BELL.GZP", Gzipped("ding"));
  server_root.Write("LICENSE", "license text");
  WriteDatec({{"Trees.UTX", "Textures\\", Days(kStamp), 4},
              {"Town.map", "Maps\\", Days(kStamp), 4},
              {"Town.ini", "Maps\\", Days(kStamp), 4},
              {"README", "", Days(kStamp), 4},
              {"Bell.uax", "Sounds\\", Days(kStamp), 4}});
  game.Write("Textures\\keep", "");
  game.Write("Maps\\keep", "");
  game.Write("Sounds\\keep", "");
  ConnectAsAfterUpdate({"header", "O Wrong.bin Textures\\Trees.UTX 1 4 Trees"});
  std::vector<std::string> listing = Listing();
  std::sort(listing.begin(), listing.end());
  listing.insert(listing.begin(), ".");
  SetListing(listing);  // ".", BELL.GZP, LICENSE, TOWN.GZP, TREES.GZP

  form->Image8Click();

  EXPECT_EQ(game.Read("Textures\\Trees.UTX"), "tree") << "UTX in capitals is no package: listing search";
  EXPECT_EQ(game.Read("Maps\\Town.map"), "town");
  EXPECT_EQ(game.Read("Maps\\Town.ini"), "town") << "both served by the first entry of that base name";
  EXPECT_EQ(game.Read("LICENSE"), "license text") << "a name without a dot takes the first entry without one";
  EXPECT_FALSE(game.Exists("README"));
  EXPECT_EQ(game.Read("Sounds\\Bell.uax"), "ding") << "a package no server line names goes to the listing";
  EXPECT_EQ(status_texts, (std::vector<std::string>{
                              "5files check to be updated", "4files check to be updated",
                              "3files check to be updated", "2files check to be updated",
                              "1files check to be updated",
                              "files checked",  // after the package step of the last file
                              "files checked",  // after its listing repair
                          }));
  EXPECT_EQ(game.Read("ErrorList.TXT"), "<missing>");
}

// The second record names the file the first one's repair has just
// written, in other letters: it is found and replaced, not made twice.
TEST_F(FileCheckTest, RepairFindsWhatItHasJustWrittenUnderAnyCase) {
  server_root.Write("TOWN.GZP", Gzipped("town"));
  WriteDatec({{"Town.map", "Maps\\", Days(kStamp), 4}, {"TOWN.MAP", "maps\\", Days(kStamp), 4}});
  game.Write("Maps\\keep", "");
  ConnectAsAfterUpdate();
  form->Image8Click();
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(game.path() + "Maps"))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Town.map", "keep"}));
  EXPECT_EQ(game.Read("Maps\\Town.map"), "town");
  EXPECT_EQ(status_texts, (std::vector<std::string>{"2files check to be updated", "1files check to be updated",
                                                    "files checked"}));
}

TEST_F(FileCheckTest, DamagedRepairLeavesTheFileAndListsItUnrepaired) {
  std::string damaged = Gzipped("0123456789");
  damaged[damaged.size() - 8] ^= 0x55;  // the CRC-32 no longer matches
  server_root.Write("CORE.GZP", damaged);
  Put("System\\Core.u", 3, kStamp);
  WriteDatec({{"Core.u", "System\\", Days(kStamp), 10}});
  ConnectAsAfterUpdate();
  form->Image8Click();
  EXPECT_EQ(game.Read("System\\Core.u"), "xxx") << "the damaged data never replaces the file";
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "gzclose Error.");
  EXPECT_EQ(game.Read("ErrorList.TXT"), game.path() + "System/Core.u\r\n");
  EXPECT_EQ(form->Label3->Caption(), "files can,t check, please try again");
  for (const char* left : {"System\\CORE.GZP", "System\\CORE.GZP.dltmp", "System\\Core.u.updtmp"})
    EXPECT_FALSE(game.Exists(left)) << left;
}

TEST_F(FileCheckTest, EmptyListingListsNothing) {
  WriteDatec({{"A.txt", "", Days(kStamp), 1}, {"B.utx", "", Days(kStamp), 1}});
  ConnectAsAfterUpdate();
  ClearListing(form->Engine);
  form->Image8Click();
  EXPECT_EQ(status_texts, (std::vector<std::string>{"2files check to be updated", "files checked"}))
      << "only the package step of the last file counts down";
  EXPECT_EQ(game.Read("ErrorList.TXT"), "<missing>");
}

TEST_F(FileCheckTest, RepairErrorsEndTheCheck) {
  server_root.Write("first.txt", "1");
  server_root.Write("file.txt", "f");
  WriteDatec({{"First.txt", "", Days(kStamp), 9},
              {"File.txt", "NoSuchFolder\\", Days(kStamp), 1},
              {"Later.map", "", Days(kStamp), 1}});
  ConnectAsAfterUpdate();
  EXPECT_THROW(form->Image8Click(), Exception) << "the download into a missing folder fails";
  EXPECT_EQ(game.Read("First.txt"), "1");
  EXPECT_EQ(form->Label3->Caption(), "2files check to be updated");
  EXPECT_EQ(game.Read("ErrorList.TXT"), "<missing>");
}

// The listing search guesses by base name: it passes over every entry that
// would write one of the updater's own files or a file the record keeps
// for another entry, and never repairs one of the updater's own files.
TEST_F(FileCheckTest, ListingSearchNeverWritesOwnedNames) {
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"update.pub", "the mirror's key"}, {"ISP1.DAT.minisig", "x"}, {"Update.txt", "fresh notes"},
           {"isp0.dat", "mirror servers"}, {"ISP0.GZP", Gzipped("isp notes")}, {"Core.dll", "mirror dll"},
           {"CORE.GZP", Gzipped("0123456789")}, {"update2.dat", "mirror record"}, {"TreesPkg.bin", "pkg!"}})
    server_root.Write(name, bytes);
  game.Write("isp0.dat", "own servers");
  game.Write("update2.dat", "own record");
  game.Write("System\\Core.dll", "recorded dll");
  Put("update.txt", 3, kStamp);
  Put("System\\Core.u", 3, kStamp);
  game.Write("Help\\keep", "");
  game.Write("Textures\\keep", "");
  WriteDatec({{"update.txt", "", Days(kStamp), 11},
              {"isp0.txt", "", Days(kStamp), 9},
              {"Core.u", "System\\", Days(kStamp), 10},
              {"Trees.utx", "Textures\\", Days(kStamp), 4},
              {"UPDATE2.DAT", "", Days(kStamp), 1},
              {"update.pub", ".\\", Days(kStamp), 1},
              {"update2.dat", "Help\\", Days(kStamp), 13},
              {"isp1.dat.old", "", Days(kStamp), 1}});
  ConnectAsAfterUpdate({"header", "O TreesPkg.bin Update2.dat 1 4 Trees"});
  form->Engine.RecordList = LineList{"AVWSEN", "System\\core.DLL 1"};
  // Each owned name before the one that may serve.
  SetListing({"update.pub", "ISP1.DAT.minisig", "Update.txt", "isp0.dat", "ISP0.GZP", "Core.dll", "CORE.GZP",
              "update2.dat", "TreesPkg.bin"});

  form->Image8Click();

  EXPECT_EQ(game.Read("update.txt"), "fresh notes");
  EXPECT_EQ(game.Read("isp0.txt"), "isp notes");
  EXPECT_EQ(game.Read("System\\Core.u"), "0123456789");
  EXPECT_EQ(game.Read("Help\\update2.dat"), "mirror record") << "owned only in the top level";
  EXPECT_FALSE(game.Exists("update.pub"));
  EXPECT_EQ(game.Read("isp0.dat"), "own servers");
  EXPECT_EQ(game.Read("update2.dat"), "own record");
  EXPECT_EQ(game.Read("System\\Core.dll"), "recorded dll");
  EXPECT_FALSE(game.Exists("isp1.dat.old"));
  EXPECT_FALSE(game.Exists("ISP1.DAT.minisig"));
  EXPECT_FALSE(game.Exists("Textures\\Trees.utx"));
  EXPECT_EQ(game.Read("ErrorList.TXT"), game.path() + "Textures/Trees.utx\r\n" + game.path() + "update2.dat\r\n" +
                                            game.path() + "update.pub\r\n" + game.path() + "isp1.dat.old\r\n");
  for (const char* part : {"listing entry \"update.pub\" passed over", "listing entry \"ISP1.DAT.minisig\" passed over",
                           "listing entry \"isp0.dat\" passed over", "listing entry \"Core.dll\" passed over",
                           "entry \"Update2.dat\" passed over", "\"UPDATE2.DAT\" not repaired",
                           "update.pub\" not repaired"}) {
    EXPECT_TRUE(Reported(refused, part)) << part;
  }
}

// With the publisher's key the repair takes only the signed list's own
// entry for a file, held to its digest; the listing's guesses (a mirror's
// own key among them) are never fetched.
TEST_F(FileCheckTest, KeyedRepairTakesOnlySignedEntries) {
  server_root.Write("update.pub", "the mirror's key");
  server_root.Write("update.txt", "mirror notes");
  server_root.Write("News.txt", "news 2");
  server_root.Write("Map.txt", "map 9");
  server_root.Write("readme.txt", "unsigned readme");
  game.Write("update.pub", "the publisher's key");
  const auto damage = [this] {
    for (const char* name : {"update.txt", "News.txt", "Map.txt", "Help\\Readme.txt"}) Put(name, 3, kStamp);
  };
  damage();
  WriteDatec({{"update.txt", "", Days(kStamp), 12},
              {"News.txt", "", Days(kStamp), 6},
              {"Map.txt", "", Days(kStamp), 5},
              {"Readme.txt", "Help\\", Days(kStamp), 15}});
  const std::string news = Sha256Of("news 2"), map = Sha256Of("map 2");
  ConnectAsAfterUpdate({"UPDATE", "O News.txt NEWS.TXT 2 6 " + news + " " + news,
                        "O Map.txt Map.txt 2 5 " + map + " " + map});
  const std::string unrepaired =
      game.path() + "update.txt\r\n" + game.path() + "Map.txt\r\n" + game.path() + "Help/Readme.txt\r\n";
  {
    SCOPED_TRACE("the list accepted under the key");
    form->Engine.SignedSet = true;
    form->Image8Click();
    EXPECT_EQ(game.Read("News.txt"), "news 2") << "its signed entry, ignoring case";
    EXPECT_EQ(game.Read("Map.txt"), "xxx") << "the served bytes differ from the signed digest";
    EXPECT_TRUE(Reported(refused, "the SHA-256 of \"Map.txt\" as received differs"));
    EXPECT_EQ(game.Read("update.txt"), "xxx");
    EXPECT_EQ(game.Read("Help\\Readme.txt"), "xxx");
    EXPECT_EQ(game.Read("update.pub"), "the publisher's key");
    EXPECT_EQ(game.Read("ErrorList.TXT"), unrepaired);
  }
  {
    SCOPED_TRACE("a key in other letters and no list accepted under it: nothing is fetched");
    std::filesystem::rename(game.RealPath("update.pub"), game.path() + "UPDATE.PUB");
    form->Engine.SignedSet = false;
    damage();
    form->Image8Click();
    EXPECT_EQ(game.Read("News.txt"), "xxx");
    EXPECT_EQ(game.Read("update.txt"), "xxx");
    EXPECT_FALSE(std::filesystem::exists(game.path() + "update.pub"));
    EXPECT_EQ(game.Read("UPDATE.PUB"), "the publisher's key");
    EXPECT_EQ(game.Read("ErrorList.TXT"), game.path() + "update.txt\r\n" + game.path() + "News.txt\r\n" +
                                              game.path() + "Map.txt\r\n" + game.path() + "Help/Readme.txt\r\n");
  }
}

TEST_F(FileCheckTest, RefusedDownloadEndsTheCheck) {
  WriteDatec({{"Later.map", "", Days(kStamp), 1}, {"Last.map", "", Days(kStamp), 1}});
  ConnectAsAfterUpdate();
  SetListing({"later.gone", "last.map"});
  try {
    form->Image8Click();
    ADD_FAILURE() << "the refused download went unreported";
  } catch (const EDownloadError& e) {
    EXPECT_EQ(e.Failure(), DownloadFailure::kRefused);
  }
  EXPECT_FALSE(game.Exists("Last.map")) << "the files after the failure are not handled";
  EXPECT_EQ(form->Label3->Caption(), "2files check to be updated");
  EXPECT_EQ(game.Read("ErrorList.TXT"), "<missing>");
}

}  // namespace
