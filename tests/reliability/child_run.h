// Runs updater-cli as a child process that a test may kill at a chosen
// moment, limit in file size, or measure: the fault-injection side of the
// reliability tests.
#pragma once

#include <string>
#include <vector>

namespace reliability {

// When to SIGKILL the child; both unset means never.
struct KillPlan {
  int after_ms = -1;          // this long after the start
  int after_creations = -1;   // when the game folder (or a folder made in
                              // it) sees its n-th file or folder created
  std::string on_creation_of;  // when a created name contains this text
};

// The bound on a run's peak RSS, in KiB, for a bound of `plain_kb` in an
// ordinary build. Under AddressSanitizer its shadow memory and its
// quarantine of freed blocks add some 60 MiB to even the smallest run, and
// more the more it allocates.
constexpr long RunMemoryBoundKb(long plain_kb) {
#if defined(__SANITIZE_ADDRESS__)
  return plain_kb + 128 * 1024;
#else
  return plain_kb;
#endif
}

struct ChildResult {
  int exit_code = -1;        // -1 when it did not exit normally
  int signal = 0;            // the signal that ended it, 0 when none
  long max_rss_kb = 0;       // peak resident memory of the child
  int creations_seen = 0;    // files and folders created while it ran
  std::string killed_on;     // the name created last before the kill, if any
  double seconds = 0;        // wall time of the run
  std::string out, err;
  bool Killed() const { return signal == 9; }
  std::vector<std::string> Lines() const;
};

struct ChildOptions {
  std::vector<std::string> args;  // after the program's name
  std::string watched_dir;         // the game folder, for after_creations
  KillPlan kill;
  // Also SIGKILL once the file at grown_file holds grown_to bytes or more.
  std::string grown_file;
  long long grown_to = -1;
  long file_size_limit = -1;       // RLIMIT_FSIZE in bytes (writes past it fail with EFBIG)
  int timeout_ms = 60000;          // killed past this; reported as signal 9
  std::vector<std::string> wrapper;  // a program that runs updater-cli (e.g. "unshare", "-n")
};

// Path of the built updater-cli.
std::string UpdaterCliPath();

// Starts updater-cli (LANG=C, stdin /dev/null) and waits for it to end or
// to be killed as planned. Throws std::runtime_error when it cannot start.
ChildResult RunChild(const ChildOptions& options);

// RunChild with the common options: the arguments, and a kill plan that
// watches `watched_dir`.
ChildResult RunCli(const std::vector<std::string>& args, const std::string& watched_dir = "", KillPlan kill = {});

}  // namespace reliability
