#include "x_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace gtk_test {
namespace {

bool ToolExists(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A binary PPM (P6, maxval 255) as pixels.
Screenshot ParsePpm(const std::string& bytes) {
  Screenshot shot;
  size_t at = 0;
  auto next_token = [&]() {
    while (at < bytes.size()) {
      if (bytes[at] == '#') {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else if (isspace(static_cast<unsigned char>(bytes[at]))) {
        ++at;
      } else {
        break;
      }
    }
    const size_t start = at;
    while (at < bytes.size() && !isspace(static_cast<unsigned char>(bytes[at]))) ++at;
    return bytes.substr(start, at - start);
  };
  if (next_token() != "P6") return shot;
  const int width = std::atoi(next_token().c_str());
  const int height = std::atoi(next_token().c_str());
  if (std::atoi(next_token().c_str()) != 255) return shot;
  ++at;  // the single whitespace before the raster
  if (width <= 0 || height <= 0 || bytes.size() < at + size_t(width) * height * 3) return shot;
  shot.width = width;
  shot.height = height;
  shot.pixels.reserve(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at + 3 * i);
    shot.pixels.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
  }
  return shot;
}

}  // namespace

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // polling interval
  }
  return true;
}

XSession::XSession() {
  for (const char* tool : {"Xvfb", "xdotool", "import", "convert"}) {
    if (!ToolExists(tool)) {
      unavailable_ = std::string(tool) + " is not installed";
      return;
    }
  }
  // Xvfb picks a free display itself and writes its number to the pipe.
  // -noreset: a server that resets when its last client leaves refuses
  // connections meanwhile, and the tests connect and leave all the time.
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    unavailable_ = "no pipe for Xvfb";
    return;
  }
  const std::string screen = std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
  server_pid_ = fork();
  if (server_pid_ == 0) {
    close(pipe_fds[0]);
    const std::string fd = std::to_string(pipe_fds[1]);
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, STDERR_FILENO);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-wr", "-noreset",
           "-nolisten", "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[1]);
  std::string number;
  char c;
  while (server_pid_ > 0 && read(pipe_fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(pipe_fds[0]);
  if (number.empty()) {
    unavailable_ = "Xvfb did not start";
    return;
  }
  display_ = ":" + number;
  if (!WaitFor([&] { return Run("xdotool getmouselocation >/dev/null 2>&1") == 0; }))
    unavailable_ = "Xvfb on " + display_ + " does not answer";
}

XSession::~XSession() {
  for (pid_t pid : std::vector<pid_t>(programs_)) StopProgram(pid);
  if (server_pid_ > 0) {
    kill(server_pid_, SIGTERM);
    waitpid(server_pid_, nullptr, 0);
  }
}

int XSession::Run(const std::string& command, std::string* output) const {
  const std::string line = "DISPLAY=" + display_ + " " + command;
  FILE* pipe = popen(line.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  const int status = pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Screenshot XSession::Capture(const std::string& png_path) const {
  const std::string ppm = png_path + ".ppm";
  if (Run("import -silent -window root -depth 8 'ppm:" + ppm + "'") != 0) return {};
  std::ifstream in(ppm, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  Run("convert '" + ppm + "' '" + png_path + "'");
  std::remove(ppm.c_str());
  return ParsePpm(bytes);
}

pid_t XSession::StartProgram(const std::vector<std::string>& command, const std::string& folder,
                             const std::string& language) {
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("DISPLAY", display_.c_str(), 1);
    setenv("LANG", language.c_str(), 1);
    setenv("LC_ALL", language.c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    // Under the sanitizers: what the desktop libraries keep to the end is no leak.
    setenv("LSAN_OPTIONS", "suppressions=" UPDATER_SOURCE_DIR "/tests/gtk/lsan_gtk.supp:print_suppressions=0", 1);
    unsetenv("WAYLAND_DISPLAY");
    if (chdir(folder.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid > 0) programs_.push_back(pid);
  return pid;
}

bool XSession::ProgramRunning(pid_t pid, int* exit_code) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == 0) return true;
  programs_.erase(std::remove(programs_.begin(), programs_.end(), pid), programs_.end());
  if (exit_code != nullptr) *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return false;
}

void XSession::StopProgram(pid_t pid) {
  if (std::find(programs_.begin(), programs_.end(), pid) == programs_.end()) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  programs_.erase(std::remove(programs_.begin(), programs_.end(), pid), programs_.end());
}

}  // namespace gtk_test
