#include "platform/process.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace {

using test_support::WaitUntil;

// Number of processes whose parent is this process (zombies included).
int ChildrenOfThisProcess() {
  int count = 0;
  DIR* proc = opendir("/proc");
  while (const dirent* entry = readdir(proc)) {
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // Fields after the command name, which is in parentheses: state, parent pid.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == getpid()) ++count;
  }
  closedir(proc);
  return count;
}

}  // namespace

TEST(ProcessTest, StartsTheProgramWithItsArgumentsWithoutWaitingOrZombies) {
  test_support::TempFolder game;
  const std::string tool = game.Write(
      "System/PKG",
      "#!/bin/sh\n"
      "printf '%s|' \"$PWD\" \"$@\" > \"$PWD/args.tmp\"\n"
      "mv \"$PWD/args.tmp\" \"$PWD/args.txt\"\n");
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);

  EXPECT_EQ(platform::WinExec(game.path(), "system\\pkg pkg import  texture ..\\Textures\\Trees ..\\Trees", 0),
            platform::kWinExecStarted);
  ASSERT_TRUE(WaitUntil([&] { return game.Read("args.txt") != "<missing>"; }, "the started tool writing args.txt"));
  std::string folder = game.path();
  folder.pop_back();
  EXPECT_EQ(game.Read("args.txt"), folder + "|pkg|import|texture|..\\Textures\\Trees|..\\Trees|");
  EXPECT_TRUE(WaitUntil([] { return ChildrenOfThisProcess() == 0; }, "the started program reaped"))
      << "the started program was left as a zombie";
}

TEST(ProcessTest, ReportsWhyAProgramCouldNotStart) {
  test_support::TempFolder game;
  const std::string plain = game.Write("readme.txt", "not a program");
  ASSERT_EQ(chmod(plain.c_str(), 0644), 0);
  game.Write("Folder/x", "");
  {
    SCOPED_TRACE("missing program or empty command line");
    EXPECT_EQ(platform::WinExec(game.path(), "Quelmar.exe kvx", 1), 2u);
    EXPECT_EQ(platform::WinExec(game.path(), "", 1), 2u);
    EXPECT_EQ(platform::WinExec(game.path(), "   ", 1), 2u);
  }
  {
    // No execute bit at all, so even root may not run it.
    SCOPED_TRACE("file without execute permission");
    EXPECT_EQ(platform::WinExec(game.path(), "README.TXT", 1), 5u);
  }
  {
    SCOPED_TRACE("a folder");
    EXPECT_EQ(platform::WinExec(game.path(), "folder", 1), 5u);
  }
}
