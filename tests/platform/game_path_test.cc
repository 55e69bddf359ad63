#include "platform/game_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

using platform::IsSafeRelativeName;
using platform::ResolveGameFileName;

namespace {

// The same resolutions with and without a FolderListingScope open.
class GamePathResolutionTest : public testing::TestWithParam<bool> {
 protected:
  GamePathResolutionTest() {
    if (GetParam()) scope_.emplace();
  }

 private:
  std::optional<platform::FolderListingScope> scope_;
};

INSTANTIATE_TEST_SUITE_P(Listings, GamePathResolutionTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "WithinScope" : "ReadEachTime";
                         });

using test_support::WaitUntil;

}  // namespace

TEST_P(GamePathResolutionTest, MatchesExistingComponentsIgnoringCaseAndKeepsNewOnes) {
  test_support::TempFolder game;
  const std::string& dir = game.path();
  game.Write("System/Core.u", "x");
  game.Write("Textures/abc.utx", "x");

  {
    SCOPED_TRACE("existing components take their on-disk spelling");
    EXPECT_EQ(ResolveGameFileName(dir, "SYSTEM\\core.U"), dir + "System/Core.u");
    EXPECT_EQ(ResolveGameFileName(dir, "textures/ABC.UTX"), dir + "Textures/abc.utx");
  }
  {
    SCOPED_TRACE("new components keep their case, also below a missing one");
    EXPECT_EQ(ResolveGameFileName(dir, "system\\New\\File.TXT"), dir + "System/New/File.TXT");
    EXPECT_EQ(ResolveGameFileName(dir, "Maps\\Town.map"), dir + "Maps/Town.map");
  }
  {
    SCOPED_TRACE("doubled, leading and trailing separators, dot components, empty name");
    EXPECT_EQ(ResolveGameFileName(dir, "\\FtpConfig.ini"), dir + "FtpConfig.ini");
    EXPECT_EQ(ResolveGameFileName(dir, "system\\\\.\\core.u"), dir + "System/Core.u");
    EXPECT_EQ(ResolveGameFileName(dir, "system\\"), dir + "System/");
    EXPECT_EQ(ResolveGameFileName(dir, ""), dir);
  }
  {
    SCOPED_TRACE("an exact match wins over a case variant, else the smallest variant");
    game.Write("Dup/readme", "a");
    game.Write("Dup/README", "b");
    game.Write("Dup/ReadMe", "c");
    EXPECT_EQ(ResolveGameFileName(dir, "dup\\ReadMe"), dir + "Dup/ReadMe");
    EXPECT_EQ(ResolveGameFileName(dir, "dup\\readME"), dir + "Dup/README");
  }
  {
    SCOPED_TRACE("non-ASCII bytes are compared exactly");
    game.Write("\xC4\x80.txt", "x");  // U+0100; its lower case U+0101 must not match
    EXPECT_EQ(ResolveGameFileName(dir, "\xC4\x81.txt"), dir + "\xC4\x81.txt");
  }
}

TEST_P(GamePathResolutionTest, FollowsEveryChangeToTheFoldersItHasRead) {
  test_support::TempFolder game;
  const std::string& dir = game.path();
  game.Write("Data/Keep.txt", "x");
  // Reads the game folder and Data before anything changes.
  ASSERT_EQ(ResolveGameFileName(dir, "DATA\\new.txt"), dir + "Data/new.txt");
  ASSERT_EQ(ResolveGameFileName(dir, "sub\\x"), dir + "sub/x");
  {
    SCOPED_TRACE("files and folders made by the platform's own calls");
    ASSERT_TRUE(platform::CreateDirectory(dir + "Sub"));
    EXPECT_EQ(ResolveGameFileName(dir, "SUB\\x"), dir + "Sub/x");
    platform::OutputFile created(dir + "Data/New.txt");
    ASSERT_TRUE(created.IsOpen());
    EXPECT_EQ(ResolveGameFileName(dir, "data\\NEW.TXT"), dir + "Data/New.txt");
    platform::AppendToFile(dir + "Data/NEW.txt", "x");  // a smaller case variant
    EXPECT_EQ(ResolveGameFileName(dir, "data\\new.Txt"), dir + "Data/NEW.txt");
    platform::WriteFileAtomically(dir + "Data/Atomic.dat", "x");
    EXPECT_EQ(ResolveGameFileName(dir, "data\\ATOMIC.DAT"), dir + "Data/Atomic.dat");
  }
  {
    SCOPED_TRACE("removals and renames");
    ASSERT_TRUE(platform::DeleteFile(dir + "Data/NEW.txt"));
    EXPECT_EQ(ResolveGameFileName(dir, "data\\new.Txt"), dir + "Data/New.txt");
    ASSERT_EQ(platform::ReplaceFile(dir + "Data/New.txt", dir + "Data/Renamed.txt"), 0);
    EXPECT_EQ(ResolveGameFileName(dir, "data\\new.Txt"), dir + "Data/new.Txt");
    EXPECT_EQ(ResolveGameFileName(dir, "data\\RENAMED.txt"), dir + "Data/Renamed.txt");
    ASSERT_EQ(platform::RemoveFileIfPresent(dir + "Data/Renamed.txt"), 0);
    EXPECT_EQ(ResolveGameFileName(dir, "data\\RENAMED.txt"), dir + "Data/RENAMED.txt");
  }
  {
    SCOPED_TRACE("changes made behind the platform's back");
    std::ofstream(dir + "Data/Other.TXT") << "x";
    EXPECT_EQ(ResolveGameFileName(dir, "data\\other.txt"), dir + "Data/Other.TXT");
    std::filesystem::rename(dir + "Data", dir + "Moved");
    EXPECT_EQ(ResolveGameFileName(dir, "DATA\\other.txt"), dir + "DATA/other.txt");
    EXPECT_EQ(ResolveGameFileName(dir, "moved\\other.txt"), dir + "Moved/Other.TXT");
    std::filesystem::remove_all(dir + "Moved");
    std::filesystem::create_directories(dir + "MOVED/inner");
    EXPECT_EQ(ResolveGameFileName(dir, "moved\\Other.txt"), dir + "MOVED/Other.txt");
    EXPECT_EQ(ResolveGameFileName(dir, "moved\\INNER\\"), dir + "MOVED/inner/");
  }
  {
    SCOPED_TRACE("a file made by a program the updater started, after Sub was read");
    const std::string tool = game.Write("Tool", "#!/bin/sh\necho x > Sub/Made.By.Tool\n");
    ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
    ASSERT_EQ(platform::WinExec(dir, "tool", 0), platform::kWinExecStarted);
    ASSERT_TRUE(WaitUntil([&] { return platform::FileExists(dir + "Sub/Made.By.Tool"); }, "the tool making Sub/Made.By.Tool"));
    EXPECT_EQ(ResolveGameFileName(dir, "sub\\made.by.tool"), dir + "Sub/Made.By.Tool");
  }
}

TEST_P(GamePathResolutionTest, StaysRightWhileOtherThreadsCreateFiles) {
  test_support::TempFolder game;
  const std::string& dir = game.path();
  game.Write("Data/Seed", "x");
  constexpr int kThreads = 4;
  constexpr int kFiles = 100;
  std::vector<std::string> wrong[kThreads];
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kFiles; ++i) {
        const std::string stem = std::to_string(t) + "_" + std::to_string(i);
        platform::OutputFile file(dir + "Data/T" + stem + ".Tmp");
        const std::string resolved = ResolveGameFileName(dir, "data\\t" + stem + ".tmp");
        if (resolved != dir + "Data/T" + stem + ".Tmp") wrong[t].push_back(resolved);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], std::vector<std::string>{}) << "thread " << t;
}

TEST(GamePathTest, RefusesNamesThatLeaveTheFolder) {
  for (const char* name : {"", "\\Windows\\x.dll", "/etc/passwd", "C:\\x", "c:x", "..", "..\\x",
                           "System\\..\\..\\x", "a/../b", "System\\.."}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsSafeRelativeName(name));
  }
  for (const char* name : {"x", "System\\Core.u", "a/b/c", "...", "..x", "x..", "a\\.\\b", "Textures\\"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(IsSafeRelativeName(name));
  }
}

// The game folder reached through a link; inside it a folder link that
// leads out, one that leads to another folder inside, one that leads
// nowhere, and a file link that leads out.
TEST(GamePathTest, FoldersStayInsideUnlessALinkLeadsOut) {
  namespace fs = std::filesystem;
  test_support::TempFolder root;
  fs::create_directories(root.path() + "real_game/Real");
  fs::create_directories(root.path() + "elsewhere");
  fs::create_directory_symlink(root.path() + "real_game", root.path() + "game");
  const std::string game = root.path() + "game/";
  fs::create_directory_symlink(root.path() + "elsewhere", game + "Data");
  fs::create_directory_symlink(game + "Real", game + "Inner");
  fs::create_directory_symlink(root.path() + "gone", game + "Dangling");
  root.Write("elsewhere/target.txt", "t");
  fs::create_symlink(root.path() + "elsewhere/target.txt", game + "Linked.txt");
  for (const char* name : {"x.bin", "New/Deeper/x.bin", "Inner/x.bin", "Inner/New/x.bin", "Real/", "Linked.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(platform::FoldersStayInside(game, game + name));
  }
  for (const char* name : {"Data/x.bin", "Data/New/x.bin", "Data/", "Dangling/x.bin", "Inner/../Data/x.bin"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(platform::FoldersStayInside(game, game + name));
  }
  EXPECT_FALSE(platform::FoldersStayInside(game, root.path() + "real_gamer/x.bin"))
      << "a folder whose name only begins like the game folder's is outside it";
}
