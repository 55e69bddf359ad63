// Runs the peer FTP clients the benchmark compares against, timing each.
#pragma once

#include <string>
#include <vector>

// Wall-clock and CPU (user + system) seconds of one run.
struct RunCost {
  double wall = 0;
  double cpu = 0;
};

// Runs the program (args[0], looked up on PATH) to completion with its
// output discarded and returns what it cost. Throws std::runtime_error
// when it cannot start or ends with a non-zero status.
RunCost RunProgram(const std::vector<std::string>& args);

// curl in active mode ("--ftp-port -"): fetches each url of `urls` into the
// matching file of `outputs`, all over one control connection.
RunCost RunCurl(const std::vector<std::string>& urls, const std::vector<std::string>& outputs,
                const std::string& work_dir);

// lftp with passive mode off: "get" of every remote name (relative to
// remote_dir on ftp://127.0.0.1:port) into local_dir, one control connection.
RunCost RunLftp(int port, const std::string& remote_dir, const std::vector<std::string>& names,
                const std::string& local_dir, const std::string& work_dir);
