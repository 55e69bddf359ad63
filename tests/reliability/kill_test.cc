// updater-cli killed (SIGKILL) at many moments of an update of a few
// hundred entries of every type, then run again to the end: the game folder
// must end equal to the server's release (no temporary file of the killed
// run left), and no moment may leave a record line that claims a file that
// is not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "reliability/child_run.h"
#include "reliability/release_fixture.h"
#include "reliability/reliability_report.h"
#include "support/wait_until.h"

namespace reliability {
namespace {

// The phase of the run a kill fell into, from the name created last.
std::string Phase(const ChildResult& killed) {
  std::string name = killed.killed_on;
  auto ends = [&](const std::string& suffix) {
    return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  if (name.empty() || ends("update.lck")) return "connect and login";
  // Temporary files: a download to be unpacked, the journal that names the
  // temporary files (created with the first one), and partial files, which
  // count as the file they become.
  if (ends(".dltmp") || ends("updtmp.dat")) return "downloads";
  if (ends(".updtmp")) name.resize(name.size() - 7);
  if (name.find("update2.dat") != std::string::npos) return "record save";
  if (ends("update3.dat") || ends("bulletin.htm") || ends("isp1.dat")) return "listing and list files";
  if (ends(".GZP") || ends(".gz") || ends(".ogg")) return "downloads";
  if (ends(".bnd")) return "unpacking";
  for (const char* folder : {"/Maps/", "/Trees/", "/Anims/", "/Rocks/", "/Sounds/", "/Leaves/"})
    if (name.find(folder) != std::string::npos) return "extraction";
  return "unpacking";
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size() && i < 10; ++i) text += lines[i] + "\n";
  if (lines.size() > 10) text += "... " + std::to_string(lines.size() - 10) + " more\n";
  return text;
}

class KillTest : public ::testing::Test {
 protected:
  // Kills an update from `start` at `plan`, checks what the kill left, runs
  // the update again to its end and checks the result against `release`.
  void KillAndResume(const std::string& start, int release, const KillPlan& plan, const std::string& label,
                     bool forced = false) {
    // Runs vary in speed (and in the creations the watch sees): a kill
    // planned by time or by count that came after the run had ended is
    // tried again from the start, a quarter earlier each time.
    KillPlan attempt = plan;
    std::string player;
    ChildResult killed;
    for (int tries = 1;; ++tries) {
      player = fixture.CopyPlayerFolder(start, "player");
      std::vector<std::string> args = fixture.UpdateArgs(player);
      if (forced) args.back() = "--forced";
      killed = RunCli(args, player, attempt);
      const bool earlier_possible = attempt.after_ms > 0 || attempt.after_creations > 1;
      if (killed.Killed() || !earlier_possible || tries == 5) break;
      if (attempt.after_ms > 0) attempt.after_ms = attempt.after_ms * 3 / 4;
      if (attempt.after_creations > 1) attempt.after_creations = attempt.after_creations * 3 / 4;
    }
    const std::string moment =
        label + (attempt.after_ms != plan.after_ms ? ", moved to " + std::to_string(attempt.after_ms) + " ms"
                 : attempt.after_creations != plan.after_creations
                     ? ", moved to creation " + std::to_string(attempt.after_creations)
                     : "");
    // A kill tests something only when it lands while the run is going on:
    // not after the run ended on its own, and not as the time-out of a hung run.
    const bool landed = killed.Killed() && killed.seconds * 1000 < ChildOptions{}.timeout_ms;
    EXPECT_TRUE(landed) << moment << ": "
                        << (killed.Killed() ? "killed by the time-out, after " + std::to_string(killed.seconds) + " s"
                                            : "the run ended (status " + std::to_string(killed.exit_code) +
                                                  ") before the kill\n" + killed.out + killed.err);
    std::string phase = landed ? Phase(killed) : "no kill during the run";
    // A forced update rewrites installed files, which creates nothing new.
    if (forced) phase = "forced update, " + (phase == "listing and list files" ? "rewriting installed files" : phase);
    SCOPED_TRACE(moment + " (" + phase + ", last created: " + killed.killed_on + ")");
    const std::vector<std::string> claimed = fixture.RecordedButNotInstalled(player, release);
    EXPECT_TRUE(claimed.empty()) << Join(claimed);

    const ChildResult resumed = RunCli(fixture.UpdateArgs(player));
    EXPECT_EQ(resumed.exit_code, 0) << resumed.out << resumed.err;
    const std::vector<std::string> differences = fixture.DifferencesFromRelease(player, release);
    EXPECT_TRUE(differences.empty()) << Join(differences);

    PhaseCount& count = phases[phase];
    ++count.moments;
    if (!landed || !claimed.empty() || !differences.empty() || resumed.exit_code != 0) ++count.faults;
  }

  // A whole update (or forced update) from `start`, checked.
  ChildResult WholeRun(const std::string& start, int release, bool forced = false) {
    const std::string player = fixture.CopyPlayerFolder(start, "player");
    std::vector<std::string> args = fixture.UpdateArgs(player);
    if (forced) args.back() = "--forced";
    const ChildResult whole = RunCli(args, player);
    EXPECT_EQ(whole.exit_code, 0) << whole.out << whole.err;
    EXPECT_TRUE(fixture.DifferencesFromRelease(player, release).empty())
        << Join(fixture.DifferencesFromRelease(player, release));
    return whole;
  }

  struct PhaseCount {
    int moments = 0;
    int faults = 0;
  };
  ReleaseFixture fixture;
  std::map<std::string, PhaseCount> phases;
};

TEST_F(KillTest, KilledAtAnyMomentTheNextRunCompletesTheRelease) {
  fixture.Publish(1);
  fixture.StartServer();
  const std::string empty = fixture.NewPlayerFolder("empty");

  // Release 1 installed: the start of the upgrade to release 2.
  const std::string installed = fixture.CopyPlayerFolder(empty, "installed");
  ASSERT_EQ(RunCli(fixture.UpdateArgs(installed)).exit_code, 0);
  ASSERT_TRUE(fixture.DifferencesFromRelease(installed, 1).empty());

  struct Scenario {
    std::string name;
    std::string start;
    int release;
  };
  int moments = 0;
  for (const Scenario& scenario : {Scenario{"fresh install", empty, 1}, Scenario{"upgrade", installed, 2}}) {
    if (scenario.release == 2) fixture.Publish(2);
    SCOPED_TRACE(scenario.name);
    const int creations = WholeRun(scenario.start, scenario.release).creations_seen;
    ASSERT_GT(creations, 50) << "the run creates too little to spread the kills over";
    // Early kills by time (connect, login, listing), then one after every
    // so many creations up to the very last one (the record's save).
    for (int ms : {0, 4, 15, 40}) {
      KillAndResume(scenario.start, scenario.release, {ms, -1, ""}, scenario.name + ", after " + std::to_string(ms) + " ms");
      ++moments;
    }
    constexpr int kSpread = 12;
    for (int k = 1; k <= kSpread; ++k) {
      // The count varies a little from run to run: the last kill comes one
      // creation early, so that it still falls into the run.
      const int n = std::max(1, k == kSpread ? creations - 1 : creations * k / kSpread);
      KillAndResume(scenario.start, scenario.release, {-1, n, ""},
                    scenario.name + ", at creation " + std::to_string(n) + " of " + std::to_string(creations));
      ++moments;
    }
    // A bundle being unpacked: killed as soon as its partial file appears.
    KillAndResume(scenario.start, scenario.release, {-1, -1, ".bnd.updtmp"}, scenario.name + ", unpacking a bundle");
    ++moments;
    // The record's save: killed as soon as its temporary file appears.
    KillAndResume(scenario.start, scenario.release, {-1, -1, "update2.dat.tmp-"}, scenario.name + ", saving the record");
    ++moments;
  }
  // A forced update rewrites files that the record already names: a kill
  // in the middle must not leave one of them half-written but recorded.
  // Rewriting creates nothing, so these kills are spread over its time,
  // up to 80% of it: a run a little faster than the measured one must
  // still be going on when the last kill comes.
  const std::string upgraded = fixture.CopyPlayerFolder(installed, "upgraded");
  ASSERT_EQ(RunCli(fixture.UpdateArgs(upgraded)).exit_code, 0);
  const int run_ms = static_cast<int>(WholeRun(upgraded, 2, true).seconds * 1000);
  for (int k = 1; k <= 8; ++k) {
    const int ms = run_ms * k / 10;
    KillAndResume(upgraded, 2, {ms, -1, ""}, "forced update, after " + std::to_string(ms) + " ms", true);
    ++moments;
  }
  EXPECT_GE(moments, 30);
  for (const auto& [phase, count] : phases) {
    ReportRow("SIGKILL during " + phase + ", then a run to the end", count.moments,
              count.faults == 0 ? "game folder equals the release; record lists every entry at the server's version"
                                : std::to_string(count.faults) + " moments left a fault",
              count.faults == 0 ? "nothing" : "see the test log");
  }
}

// A run of a few hundred entries saves its record on the way: killed in
// its middle, the next run fetches nothing the record held at the kill,
// only the entries it lacks.
TEST_F(KillTest, KilledInTheMiddleTheNextRunFetchesNothingSavedBefore) {
  fixture.Publish(1);
  fixture.StartServer();
  const std::vector<ServerEntry> entries = fixture.ServerEntries();
  const std::string player = fixture.NewPlayerFolder("saving");
  // Saved every 100 ms instead of every few seconds: the run takes about one.
  std::ofstream(player + "FtpConfig.ini") << "[NETWORK]\r\nSAVEEVERYMS=100\r\n";
  ChildOptions options;
  options.args = fixture.UpdateArgs(player);
  // Killed once the saved record holds the bytes of a third of the entries
  // at 20 bytes a line, after the 10 of the header; lines take 20 to 40
  // bytes, so it names a sixth of them or more.
  options.grown_file = player + "update2.dat";
  options.grown_to = 10 + static_cast<long long>(entries.size()) / 3 * 20;
  const ChildResult killed = RunChild(options);
  ASSERT_TRUE(killed.Killed() && killed.seconds * 1000 < options.timeout_ms)
      << "the record never named a third of the entries during the run (status " << killed.exit_code << ")\n"
      << killed.out << killed.err;
  const std::vector<std::string> saved = fixture.RecordedRemotes(player);
  EXPECT_GE(saved.size(), entries.size() / 6);
  EXPECT_LT(saved.size(), entries.size());
  const std::vector<std::string> claimed = fixture.RecordedButNotInstalled(player, 1);
  EXPECT_TRUE(claimed.empty()) << Join(claimed);

  const size_t asked_before = fixture.ServerDownloads().size();
  const ChildResult resumed = RunCli(fixture.UpdateArgs(player));
  EXPECT_EQ(resumed.exit_code, 0) << resumed.out << resumed.err;
  const std::vector<std::string> differences = fixture.DifferencesFromRelease(player, 1);
  EXPECT_TRUE(differences.empty()) << Join(differences);
  // Every entry the record lacked is fetched; the server notes a transfer
  // a moment after its reply, so its log is read once it names them all.
  const std::set<std::string> saved_set(saved.begin(), saved.end());
  std::set<std::string> fetched;
  const auto all_fetched = [&] {
    const std::vector<std::string> asked = fixture.ServerDownloads();
    fetched = std::set<std::string>(asked.begin() + static_cast<long>(std::min(asked_before, asked.size())), asked.end());
    for (const ServerEntry& entry : entries)
      if (saved_set.count(entry.remote) == 0 && fetched.count(entry.remote) == 0) return false;
    return true;
  };
  EXPECT_TRUE(test_support::WaitUntil(all_fetched, "the server's log to name every entry the record lacked"));
  std::vector<std::string> fetched_again;
  for (const std::string& remote : saved)
    if (fetched.count(remote) > 0) fetched_again.push_back(remote);
  EXPECT_TRUE(fetched_again.empty()) << "fetched again although recorded before the kill:\n" << Join(fetched_again);
  ReportRow("SIGKILL in the middle of a run that saves its record every 100 ms, then a run to the end", 1,
            fetched_again.empty() && differences.empty()
                ? std::to_string(saved.size()) + " of " + std::to_string(entries.size()) +
                      " entries saved before the kill; none of them fetched again"
                : std::to_string(fetched_again.size()) + " recorded entries fetched again",
            fetched_again.empty() ? "nothing" : "see the test log");
}

}  // namespace
}  // namespace reliability
