#include "peer_clients.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

extern char** environ;

RunCost RunProgram(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  RunCost cost;
  cost.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  cost.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(args[0] + " failed");
  return cost;
}

RunCost RunCurl(const std::vector<std::string>& urls, const std::vector<std::string>& outputs,
                const std::string& work_dir) {
  // A config file keeps a thousand URLs off the command line.
  std::string config = work_dir + "/curl.cfg";
  {
    std::ofstream file(config);
    for (size_t i = 0; i < urls.size(); ++i) file << "url = \"" << urls[i] << "\"\noutput = \"" << outputs[i] << "\"\n";
  }
  return RunProgram({"curl", "-s", "-S", "--ftp-port", "-", "-K", config});
}

RunCost RunLftp(int port, const std::string& remote_dir, const std::vector<std::string>& names,
                const std::string& local_dir, const std::string& work_dir) {
  std::string script = work_dir + "/lftp.script";
  {
    std::ofstream file(script);
    file << "set ftp:passive-mode off\nset xfer:clobber on\nset net:max-retries 1\n"
         << "open -u anonymous, ftp://127.0.0.1:" << port << "\n"
         << "cd " << remote_dir << "\nlcd " << local_dir << "\nget";
    for (const std::string& name : names) file << " " << name;
    file << "\nquit\n";
  }
  return RunProgram({"lftp", "-f", script});
}
