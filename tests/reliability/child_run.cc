#include "reliability/child_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "support/temp_folder.h"

extern char** environ;

namespace reliability {
namespace {

constexpr uint32_t kCreationEvents = IN_CREATE | IN_MOVED_TO;

// Watches a folder and every folder created below it, counting creations.
class CreationWatch {
 public:
  explicit CreationWatch(const std::string& dir) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("inotify_init1 failed");
    Add(dir);
  }
  ~CreationWatch() { close(fd_); }
  int fd() const { return fd_; }

  // Reads pending events; the number of creations so far.
  int Drain() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      const ssize_t length = read(fd_, buffer, sizeof buffer);
      if (length <= 0) break;
      for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if ((event->mask & kCreationEvents) != 0 && event->len > 0) {
          ++count_;
          last_ = folders_[event->wd] + event->name;
          if (!awaited_.empty() && last_.find(awaited_) != std::string::npos) awaited_seen_ = true;
          if (event->mask & IN_ISDIR) Add(last_ + "/");
        }
        at += sizeof(inotify_event) + event->len;
      }
    }
    return count_;
  }
  const std::string& last() const { return last_; }
  // Notes when a created name contains `text`.
  void Await(const std::string& text) { awaited_ = text; }
  bool AwaitedSeen() const { return awaited_seen_; }

 private:
  void Add(const std::string& dir) {
    const int wd = inotify_add_watch(fd_, dir.c_str(), kCreationEvents);
    if (wd >= 0) folders_[wd] = dir;
  }
  int fd_;
  int count_ = 0;
  std::string last_;
  std::string awaited_;
  bool awaited_seen_ = false;
  std::map<int, std::string> folders_;
};

std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("LANG=", 0) == 0 || entry.rfind("LC_", 0) == 0) continue;
    env.push_back(entry);
  }
  env.push_back("LANG=C");
  return env;
}

}  // namespace

std::vector<std::string> ChildResult::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string UpdaterCliPath() { return std::string(UPDATER_BINARY_DIR) + "/src/frontends/cli/updater-cli"; }

ChildResult RunChild(const ChildOptions& options) {
  test_support::TempFolder capture;
  const std::string out_path = capture.path() + "out", err_path = capture.path() + "err";
  std::vector<std::string> argv_text = options.wrapper;
  argv_text.push_back(UpdaterCliPath());
  argv_text.insert(argv_text.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text = ChildEnvironment();
  std::vector<char*> env;
  for (std::string& entry : env_text) env.push_back(entry.data());
  env.push_back(nullptr);

  std::unique_ptr<CreationWatch> watch;
  if (options.kill.after_creations > 0 || !options.watched_dir.empty())
    watch = std::make_unique<CreationWatch>(options.watched_dir);
  if (watch) watch->Await(options.kill.on_creation_of);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls from here to the exec.
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0), dup2(out, 1), dup2(err, 2);
    if (options.file_size_limit >= 0) {
      // An ignored SIGXFSZ makes a write past the limit fail with EFBIG,
      // as a full disk makes it fail with ENOSPC.
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit), static_cast<rlim_t>(options.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execvpe(argv[0], argv.data(), env.data());
    _exit(127);
  }

  ChildResult result;
  auto elapsed_ms = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  };
  int status = 0;
  rusage usage{};
  bool killed = false;
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (watch) result.creations_seen = watch->Drain();
    const bool creation_due = (options.kill.after_creations > 0 && result.creations_seen >= options.kill.after_creations) ||
                              (watch && watch->AwaitedSeen());
    const bool time_due = options.kill.after_ms >= 0 && elapsed_ms() >= options.kill.after_ms;
    std::error_code no_file;
    const bool size_due = options.grown_to >= 0 &&
                          std::filesystem::file_size(options.grown_file, no_file) >=
                              static_cast<std::uintmax_t>(options.grown_to) &&
                          !no_file;
    if (!killed && (creation_due || time_due || size_due || elapsed_ms() > options.timeout_ms)) {
      kill(pid, SIGKILL);
      killed = true;
      if (watch) result.killed_on = watch->last();
      continue;
    }
    // Wake on the next creation, or after 1 ms to look at the child again.
    pollfd fds{watch ? watch->fd() : -1, POLLIN, 0};
    poll(&fds, watch ? 1 : 0, 1);
  }
  if (watch) result.creations_seen = watch->Drain();
  result.seconds = elapsed_ms() / 1000.0;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.max_rss_kb = usage.ru_maxrss;
  result.out = capture.Read("out");
  result.err = capture.Read("err");
  return result;
}

ChildResult RunCli(const std::vector<std::string>& args, const std::string& watched_dir, KillPlan kill) {
  ChildOptions options;
  options.args = args;
  options.watched_dir = watched_dir;
  options.kill = kill;
  return RunChild(options);
}

}  // namespace reliability
