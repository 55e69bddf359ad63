// Runs the built updater-cli as a child process and collects what it
// printed and how it ended.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

extern char** environ;

namespace test_support {

struct CliResult {
  int exit_code = -1;  // -1 when it did not exit normally
  int signal = 0;      // the signal that ended it, 0 when none
  bool interrupted = false;  // the interruption asked for was sent
  std::string out;
  std::string err;
  // The lines of `out`, without their line ends.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

// The built updater-cli, or the program $UPDATER_CLI names in its place
// (scripts/wine-updater-cli.sh runs the Windows build's under Wine).
inline std::string UpdaterCliPath() {
  if (const char* other = std::getenv("UPDATER_CLI"); other != nullptr && *other != '\0') return other;
  return std::string(UPDATER_BINARY_DIR) + "/src/frontends/cli/updater-cli";
}

// How the program under test names a path of the test: as it is, or under
// the drive prefix $UPDATER_CLI_DRIVE ("Z:" for the Windows build under
// Wine, which shows the Linux file system as that drive).
inline std::string PathAsTheProgramNamesIt(const std::string& path) {
  const char* drive = std::getenv("UPDATER_CLI_DRIVE");
  return drive != nullptr ? drive + path : path;
}

// What to send the program once, and when: the first time `when` holds
// while it runs (looked at every millisecond).
struct Interruption {
  int signal = 0;  // 0: none
  std::function<bool()> when;
};

// Runs `argv_text` in an environment whose locale variables are
// LANG=`lang` (LC_ALL and LC_MESSAGES removed); waits for it to end.
inline CliResult RunProgram(std::vector<std::string> argv_text, const std::string& lang,
                            const Interruption& interruption = {}) {
  TempFolder capture;
  const std::string out_path = capture.path() + "out";
  const std::string err_path = capture.path() + "err";
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("LANG=", 0) == 0 || entry.rfind("LC_", 0) == 0) continue;
    env_text.push_back(entry);
  }
  env_text.push_back("LANG=" + lang);
  std::vector<char*> env;
  for (std::string& entry : env_text) env.push_back(entry.data());
  env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + argv_text[0]);
  int status = 0;
  CliResult result;
  while (waitpid(pid, &status, interruption.signal != 0 && !result.interrupted ? WNOHANG : 0) == 0) {
    if (interruption.when()) {
      kill(pid, interruption.signal);
      result.interrupted = true;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.out = capture.Read("out");
  result.err = capture.Read("err");
  return result;
}

// Runs updater-cli with `args` (see RunProgram).
inline CliResult RunUpdaterCli(const std::vector<std::string>& args, const std::string& lang = "C",
                               const Interruption& interruption = {}) {
  std::vector<std::string> argv_text = {UpdaterCliPath()};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  return RunProgram(argv_text, lang, interruption);
}

// Runs updater-cli on a pseudo-terminal (through script(1), which copies
// the terminal's output to its own stdout) that is `columns` wide (0: the
// terminal does not know its width), with COLUMNS set to
// `columns_variable` ("": unset). Arguments must not hold quotes.
inline CliResult RunUpdaterCliOnTerminal(const std::vector<std::string>& args, int columns = 80,
                                         const std::string& columns_variable = "") {
  std::string command = columns > 0 ? "stty cols " + std::to_string(columns) + " && " : "";
  command += columns_variable.empty() ? "exec env -u COLUMNS " : "exec env COLUMNS=" + columns_variable + " ";
  command += "'" + UpdaterCliPath() + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  return RunProgram({"/usr/bin/script", "--quiet", "--return", "--command", command, "/dev/null"}, "C");
}

}  // namespace test_support
