// The process of a real server that a test starts (an FTP server, nginx):
// started in a process group of its own, so that stopping it ends every
// process it forked, with its output in a log file.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace test_support {

// Starts args[0] (a full path) with args, standard input from /dev/null,
// standard output and error to log_path. Throws std::runtime_error when
// it cannot be started.
pid_t StartServerProcess(std::vector<std::string> args, const std::string& log_path);

// Whether the process has ended; it is then reaped and must not be stopped.
bool ServerProcessEnded(pid_t pid);

// Sends the group SIGTERM and waits for the process, SIGKILL after 5 s.
void StopServerProcess(pid_t pid);

// The content of a server's log file, "" when there is none yet.
std::string ReadServerLog(const std::string& path);

}  // namespace test_support
