#include "platform/folder_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "support/temp_folder.h"

extern char** environ;

namespace {

const std::string kOwnPid = std::to_string(getpid());

TEST(FolderLockTest, OneHolderAtATimeAndItsFileNamesIt) {
  test_support::TempFolder folder;
  const std::string path = folder.path() + "update.lck";
  {
    SCOPED_TRACE("a lock file left by a run that ended names a process that is gone");
    folder.Write("update.lck", "999999999\nleft over\n");
  }
  std::optional<platform::FolderLock> first(std::in_place, path);
  ASSERT_TRUE(first->Held());
  EXPECT_EQ(folder.Read("update.lck"), kOwnPid + "\n");
  {
    SCOPED_TRACE("a second lock, even in the same process, is refused and names the holder");
    const platform::FolderLock second(path);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(second.HolderPid(), getpid());
    EXPECT_EQ(second.Error(), 0);
    EXPECT_EQ(folder.Read("update.lck"), kOwnPid + "\n") << "the refused one leaves the holder's file as it was";
  }
  {
    SCOPED_TRACE("a holder that has not written its id yet");
    folder.Write("update.lck", "");
    const platform::FolderLock second(path);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(second.HolderPid(), 0);
  }
  {
    SCOPED_TRACE("released, it is taken again");
    first.reset();
    const platform::FolderLock again(path);
    EXPECT_TRUE(again.Held());
  }
  {
    SCOPED_TRACE("a folder the lock file cannot be made in");
    const platform::FolderLock nowhere(folder.path() + "missing/update.lck");
    EXPECT_FALSE(nowhere.Held());
    EXPECT_EQ(nowhere.Error(), ENOENT);
    EXPECT_EQ(nowhere.HolderPid(), 0);
  }
}

// A program started while the lock is held (the game, an import tool)
// would otherwise keep the folder locked after the run ends.
TEST(FolderLockTest, ProgramsStartedMeanwhileDoNotKeepIt) {
  test_support::TempFolder folder;
  const std::string path = folder.path() + "update.lck";
  std::optional<platform::FolderLock> held(std::in_place, path);
  ASSERT_TRUE(held->Held());
  // posix_spawn leaves open every descriptor not marked close-on-exec.
  char program[] = "/bin/sleep", seconds[] = "60";
  char* argv[] = {program, seconds, nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, program, nullptr, nullptr, argv, environ), 0);
  held.reset();
  const platform::FolderLock after(path);
  EXPECT_TRUE(after.Held()) << "the started program holds the lock";
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

}  // namespace
