// Running a command-line tool (minisign, sha256sum) from a test through
// the shell, with its standard output and error captured.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>

namespace test_support {

struct ToolRun {
  int status = -1;  // the exit status; -1 when the tool did not exit normally
  std::string output;
};

// Runs command_line with sh -c, standard error joined to standard output.
// The command chooses its standard input (a test passes "</dev/null" or a
// pipe so that no tool waits on the terminal).
inline ToolRun RunTool(const std::string& command_line) {
  ToolRun run;
  FILE* pipe = popen((command_line + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, got);
  int status = pclose(pipe);
  if (status != -1 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

// text in single quotes for sh.
inline std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace test_support
