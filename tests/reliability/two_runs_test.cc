// Two updater-cli runs started in one game folder at once: one updates it,
// the other touches nothing there and says which process holds it. Without
// that, the second run's sweep took the first run's download for a
// leftover and the first installed what was left of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "reliability/fault_fixture.h"
#include "reliability/reliability_report.h"

namespace reliability {
namespace {

constexpr int kTrials = 10;

class TwoRunsTest : public FaultFixture {
 protected:
  TwoRunsTest() {
    const std::string big = TextOfSize(size_t{2} << 20, 7), d = TextOfSize(50000, 8);
    AddEntry("O", "Big.dat", "Data\\Big.dat", "1", big, big, true);
    AddEntry("E", "D.GZP", "D.u", "1", GzipBytes(d), d, true);
  }

  // The game folder as the fixture made it: nothing of the update installed.
  void StartOver() {
    for (const auto& [name, bytes] : installed_)
      if (name != "Old.txt") std::filesystem::remove(game_dir() + name);
    std::ofstream(game_dir() + "update2.dat", std::ios::binary) << "AVWSEN\r\n\r\nOld.txt 1\r\n";
  }
};

// Whether the run printed the sentence that names the holder's process.
bool SaysTheFolderIsTaken(const ChildResult& run, const std::string& game_dir) {
  const std::string start = "The game folder " + game_dir + " is being updated by process ";
  const std::string end = "; wait for it to end.";
  for (const std::string& line : run.Lines()) {
    if (line.rfind(start, 0) != 0 || line.size() <= start.size() + end.size()) continue;
    const std::string pid = line.substr(start.size(), line.size() - start.size() - end.size());
    if (line.compare(line.size() - end.size(), end.size(), end) == 0 &&
        pid.find_first_not_of("0123456789") == std::string::npos && pid[0] != '0')
      return true;
  }
  return false;
}

TEST_F(TwoRunsTest, OneUpdatesTheOtherNamesTheHolderAndChangesNothing) {
  for (int trial = 0; trial < kTrials; ++trial) {
    // Odd trials start the second run while the first one's largest
    // download is halfway; even ones start both together.
    const bool mid_transfer = trial % 2 == 1;
    SCOPED_TRACE("trial " + std::to_string(trial) + (mid_transfer ? ", second run mid-transfer" : ", together"));
    StartOver();
    const auto [first, second] = RunTwoAtOnce("Big.dat", mid_transfer);
    if (mid_transfer) {
      EXPECT_EQ(first.exit_code, 0) << "the run that was transferring finishes";
    }
    const bool first_won = first.exit_code == 0;
    const ChildResult& done = first_won ? first : second;
    const ChildResult& refused = first_won ? second : first;
    EXPECT_EQ(done.exit_code, 0) << done.out << done.err;
    EXPECT_EQ(refused.exit_code, 5) << refused.out << refused.err;
    EXPECT_TRUE(SaysTheFolderIsTaken(refused, game_dir())) << refused.out;
    ExpectAllInstalledAndRecorded();
    if (HasFailure()) break;
  }
  ReportRow("two runs in one game folder at once", kTrials,
            HasFailure() ? "FAILED: see the test log"
                         : "one run updates; the other exits 5 naming the holder's process; every file whole",
            HasFailure() ? "see the test log" : "nothing");
}

}  // namespace
}  // namespace reliability
