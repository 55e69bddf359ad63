#include "peer_fetch.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace {

// Runs argv with stdout sent to out_path ("" = inherited); throws unless it exits with 0.
void RunTool(std::vector<std::string> argv_text, const std::string& out_path) {
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!out_path.empty())
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + argv_text[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(argv_text[0] + " failed");
}

}  // namespace

double TimePeerFetch(int port, const std::vector<PeerFile>& files, const std::string& work_dir) {
  const std::string config_path = work_dir + "/curl.cfg";
  {
    std::ofstream config(config_path);
    for (const PeerFile& f : files)
      config << "url = \"ftp://127.0.0.1:" << port << "/" << f.remote << "\"\noutput = \"" << f.local << "\"\n";
  }
  const auto start = std::chrono::steady_clock::now();
  // Active mode ("PORT"), as the updater's transfers use it. (Passive
  // connections to vsftpd's random ports stall for seconds here whenever a
  // port still has an old connection in TIME_WAIT.)
  RunTool({"curl", "--silent", "--show-error", "--ftp-port", "127.0.0.1", "--config", config_path}, "");
  for (const PeerFile& f : files)
    if (!f.unpacked.empty()) RunTool({"gzip", "-dc", f.local}, f.unpacked);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
