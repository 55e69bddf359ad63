#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/errors.h"
#include "platform/file_stream.h"
#include "platform/flush_behind.h"
#include "support/file_size_limit.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace {

// Sets the time zone for one test and restores the old one after it.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_.empty()) unsetenv("TZ"); else setenv("TZ", old_.c_str(), 1);
    tzset();
  }

 private:
  std::string old_;
};

using test_support::ScopedFileSizeLimit;

size_t EntriesIn(const std::string& folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

}  // namespace

TEST(FileSystemTest, LastWriteTimeIsALocalDayCountAtTwoSecondResolution) {
  ScopedTimeZone zone("UTC-8");  // POSIX sign: eight hours east of UTC
  test_support::TempFolder folder;
  const std::string file = folder.Write("dated", "x");
  // 2020-01-02 03:04:05 UTC is 11:04:05 at UTC+8; 2020-01-02 is day 43832.
  const timespec times[2] = {{1577934245, 0}, {1577934245, 999999999}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  const double expected = 43832.0 + (11 * 3600 + 4 * 60 + 4) / 86400.0;
  EXPECT_DOUBLE_EQ(platform::LastWriteDays(file), expected);
  EXPECT_DOUBLE_EQ(platform::UnixTimeToDays(1577934244), expected);
  EXPECT_DOUBLE_EQ(platform::UnixTimeToDays(0), 25569.0 + 8.0 / 24.0);
  EXPECT_EQ(platform::LastWriteDays(folder.path() + "missing"), -1);
}

TEST(FileSystemTest, AtomicWriteReplacesWholeAndKeepsPermissions) {
  test_support::TempFolder folder;
  const std::string file = folder.Write("update2.dat", "old");
  ASSERT_EQ(chmod(file.c_str(), 0640), 0);
  platform::WriteFileAtomically(file, "new content");
  EXPECT_EQ(folder.Read("update2.dat"), "new content");
  struct stat info;
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(EntriesIn(folder.path()), 1u) << "no temporary file may stay behind";

  platform::WriteFileAtomically(folder.path() + "fresh", "");
  EXPECT_EQ(folder.Read("fresh"), "");
}

TEST(FileSystemTest, FailedAtomicWriteLeavesTheOldFileWhole) {
  test_support::TempFolder folder;
  const std::string old_content(1000, 'o');
  const std::string file = folder.Write("update2.dat", old_content);
  {
    SCOPED_TRACE("the disk refuses the new content half-way");
    ScopedFileSizeLimit limit(4096);
    EXPECT_THROW(platform::WriteFileAtomically(file, std::string(100000, 'n')), EInOutError);
  }
  EXPECT_EQ(folder.Read("update2.dat"), old_content);
  EXPECT_EQ(EntriesIn(folder.path()), 1u) << "the temporary file must be removed";
  {
    SCOPED_TRACE("the folder does not exist");
    const std::string nowhere = folder.path() + "no/such/file";
    try {
      platform::WriteFileAtomically(nowhere, "x");
      ADD_FAILURE() << "no error";
    } catch (const EFOpenError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create file " + nowhere);
    }
  }
}

TEST(FileSystemTest, ReplaceFileKeepsThePermissionsOfWhatItReplaces) {
  test_support::TempFolder folder;
  const std::string target = folder.Write("game.sh", "old");
  ASSERT_EQ(chmod(target.c_str(), 0750), 0);
  EXPECT_EQ(platform::ReplaceFile(folder.Write("game.sh.updtmp", "new"), target), 0);
  EXPECT_EQ(folder.Read("game.sh"), "new");
  struct stat info;
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);
  EXPECT_EQ(EntriesIn(folder.path()), 1u);

  SCOPED_TRACE("a folder in the way is not replaced");
  std::filesystem::create_directories(folder.path() + "dir");
  const std::string partial = folder.Write("dir.updtmp", "x");
  EXPECT_EQ(platform::ReplaceFile(partial, folder.path() + "dir"), EISDIR);
  EXPECT_EQ(folder.Read("dir.updtmp"), "x") << "the partial file is left to the caller";
  EXPECT_EQ(platform::PartialFileOf(folder.path() + "dir"), folder.path() + "dir.updtmp");
}

TEST(FileSystemTest, OutputFileNeverWritesThroughALink) {
  test_support::TempFolder folder;
  const std::string target = folder.Write("outside", "kept");
  std::filesystem::create_symlink(target, folder.path() + "link");
  std::filesystem::create_symlink(folder.path() + "nothing", folder.path() + "dangling");
  for (const bool append : {false, true}) {
    SCOPED_TRACE(append ? "appending" : "truncating");
    platform::OutputFile file(folder.path() + "link", 0666, append);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.OpenError(), ELOOP);
    EXPECT_FALSE(platform::OutputFile(folder.path() + "dangling", 0666, append).IsOpen());
  }
  EXPECT_EQ(folder.Read("outside"), "kept");
  EXPECT_FALSE(std::filesystem::exists(folder.path() + "nothing"));
}

// A file flushed while it is written: every step is flushed as it fills,
// Finish waits for the flush under way, and a flush that fails (a pipe
// takes none) is told to the writer and again by Finish.
TEST(FileSystemTest, FlushBehindFlushesEachStepAndKeepsItsFailure) {
  test_support::TempFolder folder;
  platform::OutputFile file(folder.path() + "big");
  file.FlushWhileWriting();
  const std::string block(1 << 20, 'b');
  for (int i = 0; i < 3; ++i) ASSERT_EQ(file.Write(block), 0);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(platform::FileSize(folder.path() + "big"), 3 << 20);

  const int file_fd = open((folder.path() + "small-steps").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(file_fd, 0);
  {
    platform::FlushBehind behind(file_fd, 4096);
    for (uint64_t total = 1000; total <= 100000; total += 1000) {
      ASSERT_EQ(write(file_fd, block.data(), 1000), 1000);
      ASSERT_EQ(behind.Written(total), 0);
    }
    EXPECT_EQ(behind.Finish(), 0);
    EXPECT_EQ(behind.Finish(), 0) << "a second Finish finds the thread gone";
  }
  close(file_fd);

  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  {
    platform::FlushBehind behind(pipe_fds[1], 1);
    // The failure shows at a later write, once the thread has tried.
    int error = 0;
    uint64_t total = 0;
    EXPECT_TRUE(test_support::WaitUntil([&] { return (error = behind.Written(++total)) != 0; }, "a write to report the failure"));
    EXPECT_EQ(error, EINVAL);
    EXPECT_EQ(behind.Finish(), EINVAL);
  }
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

TEST(FileSystemTest, ExecutableFolderIsTheTestProgramsFolder) {
  const std::string folder = platform::ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(platform::FileExists(folder + program_invocation_short_name));
}

TEST(FileSystemTest, KilledWriterLeavesOneWholeVersion) {
  test_support::TempFolder folder;
  const std::string file = folder.Write("update2.dat", std::string(1 << 20, 'a'));
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    // Rewrites the file over and over with the other letter until killed.
    for (char letter = 'b';; letter = letter == 'a' ? 'b' : 'a') {
      platform::WriteFileAtomically(file, std::string(1 << 20, letter));
    }
  }
  // Ends the writer also when an assertion leaves the test early.
  struct Killer {
    explicit Killer(pid_t pid) : pid(pid) {}
    ~Killer() { KillNow(); }
    void KillNow() {
      if (pid <= 0) return;
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = -1;
    }
    pid_t pid;
  } killer(writer);
  // Every version a reader sees, while the writer runs and after it was
  // killed at some arbitrary point, is one whole version.
  int versions_seen = 0;
  char last = 'a';
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (versions_seen < 4) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer stopped replacing the file";
    const std::string content = folder.Read("update2.dat");
    ASSERT_EQ(content.size(), 1u << 20);
    ASSERT_EQ(content.find_first_not_of(content[0]), std::string::npos) << "a mix of two versions";
    if (content[0] != last) ++versions_seen;
    last = content[0];
  }
  killer.KillNow();
  const std::string content = folder.Read("update2.dat");
  ASSERT_EQ(content.size(), 1u << 20);
  EXPECT_EQ(content.find_first_not_of(content[0]), std::string::npos);
}
