#include "filecheck/measure_pass.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <map>

#include "check_fixture.h"
#include "datec_builder.h"
#include "platform/event_loop.h"
#include "support/wait_until.h"
#include "vcl/label.h"

namespace {

using test_support::Days;
using test_support::SetLastWrite;

// An even Unix time (the day count keeps two-second steps).
constexpr int64_t kStamp = 1700000000;

class MeasurePassTest : public test_support::CheckWindowTest {
 protected:
  // Writes a file of `size` bytes last written at unix_seconds.
  std::string Put(const std::string& windows_name, size_t size, int64_t unix_seconds) {
    const std::string path = game.Write(windows_name, std::string(size, 'x'));
    EXPECT_TRUE(SetLastWrite(path, unix_seconds));
    return path;
  }

  std::vector<std::string> Names(const std::vector<MismatchedFile>& files) {
    std::vector<std::string> names;
    for (const MismatchedFile& file : files) names.push_back(file.name);
    return names;
  }
};

TEST_F(MeasurePassTest, SizeAndTimeRulesAndMissingFiles) {
  Put("System\\Match.u", 5, kStamp);
  Put("System\\Smaller.u", 3, kStamp);
  Put("System\\Older.u", 5, kStamp - 10);
  Put("System\\Newer.u", 5, kStamp + 3600);
  Put("System\\OddSecond.u", 5, kStamp + 1);
  Put("System\\Exact.u", 5, kStamp + 1);
  Put("Bigger.txt", 9, kStamp);
  game.Write("Maps\\Folder.map\\inside", "a folder where a file should be");
  const std::vector<CheckRecord> records{
      {"Match.u", "System\\", Days(kStamp), 5},
      {"Missing.u", "System\\", Days(kStamp), 5},
      {"Smaller.u", "System\\", Days(kStamp), 5},
      {"Older.u", "System\\", Days(kStamp), 5},
      {"Newer.u", "System\\", Days(kStamp), 5},
      // The file's odd second is cut to the even one below: equal, matches.
      {"OddSecond.u", "System\\", Days(kStamp), 5},
      // A record time between two-second steps is later than the cut file time.
      {"Exact.u", "System\\", Days(kStamp) + 1.0 / 86400, 5},
      {"Bigger.txt", "", Days(kStamp), 5},
      {"Folder.map", "Maps\\", Days(kStamp), 5},
  };
  const std::vector<MismatchedFile> mismatches = MeasureFiles(form->Engine, records);
  EXPECT_EQ(Names(mismatches), (std::vector<std::string>{"System\\Missing.u", "System\\Smaller.u", "System\\Older.u",
                                                           "System\\Exact.u", "Bigger.txt", "Maps\\Folder.map"}));
  EXPECT_EQ(mismatches[0].path, game.path() + "System/Missing.u");
  EXPECT_EQ(mismatches[4].path, game.path() + "Bigger.txt");
  EXPECT_EQ(form->Label3->Caption(), "Bigger.txt") << "last existing file shown; missing ones are not";
  EXPECT_TRUE(status_texts.empty()) << "the per-file display goes to the label only";
  EXPECT_TRUE(refused.empty());
}

TEST_F(MeasurePassTest, MeasuringChangesNoFile) {
  const std::vector<std::string> paths{Put("System\\Same.u", 5, kStamp), Put("System\\Wrong.u", 7, kStamp - 100),
                                       Put("Help\\ReadOnly.txt", 2, kStamp)};
  ASSERT_EQ(chmod(paths[2].c_str(), 0444), 0);
  std::map<std::string, std::pair<std::string, int64_t>> before;
  for (const std::string& path : paths) {
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    before[path] = {game.Read(path.substr(game.path().size())), info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
  }
  const std::vector<MismatchedFile> mismatches = MeasureFiles(
      form->Engine, {{"Same.u", "System\\", Days(kStamp), 5}, {"Wrong.u", "System\\", Days(kStamp), 5},
              {"ReadOnly.txt", "Help\\", Days(kStamp), 9}});
  EXPECT_EQ(Names(mismatches), std::vector<std::string>{"System\\Wrong.u"})
      << "a read-only file is passed over, whatever its size";
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec, before[path].second);
    EXPECT_EQ(game.Read(path.substr(game.path().size())), before[path].first);
  }
}

TEST_F(MeasurePassTest, RunningProgramIsPassedOver) {
  const std::string program = game.Write("System\\Game.bin", "");
  std::filesystem::copy_file("/bin/sleep", program, std::filesystem::copy_options::overwrite_existing);
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl(program.c_str(), program.c_str(), "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Until the child has become the program, the file is an ordinary one.
  const CheckRecord wrong_size{"Game.bin", "System\\", 0, 1};
  const ::testing::AssertionResult running = test_support::WaitUntil(
      [&] { return MeasureFiles(form->Engine, {wrong_size}).empty(); }, "the running program measured as matching");
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  EXPECT_TRUE(running) << "a running program cannot be opened for writing";
  EXPECT_EQ(MeasureFiles(form->Engine, {wrong_size}).size(), 1u) << "once it has ended it is measured";
}

TEST_F(MeasurePassTest, NamesAreMatchedIgnoringCaseAndUnsafeRecordsSkipped) {
  Put("System\\Core.u", 5, kStamp);
  Put("Textures\\Trees.utx", 4, kStamp);
  const std::vector<MismatchedFile> mismatches = MeasureFiles(
      form->Engine, {{"CORE.U", "SYSTEM\\", Days(kStamp), 5},
              {"trees.UTX", "textures\\", Days(kStamp), 5},
              {"passwd", "..\\..\\etc\\", Days(kStamp), 5},
              {"x.u", "C:\\", Days(kStamp), 1},
              {"", "System\\", Days(kStamp), 1},
              {"..", "", Days(kStamp), 1},
              {"", "", 0, 0}});
  ASSERT_EQ(mismatches.size(), 1u);
  EXPECT_EQ(mismatches[0].name, "textures\\trees.UTX");
  EXPECT_EQ(mismatches[0].path, game.path() + "Textures/Trees.utx") << "the on-disk spelling";
  EXPECT_EQ(refused.size(), 5u);
  EXPECT_EQ(form->Label3->Caption(), "textures\\trees.UTX");
}

TEST_F(MeasurePassTest, DisplayTextAndSafeNames) {
  EXPECT_EQ(RecordDisplayText({"Core.u", "System\\", 0, 0}), "System\\Core.u");
  EXPECT_EQ(SafeRecordName({"Core.u", "System\\", 0, 0}), "System\\Core.u");
  EXPECT_EQ(SafeRecordName({"Core.u", "", 0, 0}), "Core.u");
  EXPECT_EQ(SafeRecordName({"Core.u", "\\System\\", 0, 0}), "");
  EXPECT_EQ(SafeRecordName({"Core.u", "/etc/", 0, 0}), "");
  EXPECT_EQ(SafeRecordName({".", "System\\", 0, 0}), "");
  EXPECT_EQ(SafeRecordName({"Core.u", "a\\..\\", 0, 0}), "");
}

}  // namespace
