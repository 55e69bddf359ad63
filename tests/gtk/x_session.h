// A private X server for window tests: Xvfb on a free display with a white
// root window, the tools a person's eyes and hands are replaced by
// (xdotool for the pointer, ImageMagick's import for screenshots), and the
// programs started on it. Everything it starts it stops.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gtk_test {

// Pixels of a screenshot as 0xRRGGBB, row by row from the top.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// Polls `condition` until it holds or `timeout` passes; true when it held.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(30));

class XSession {
 public:
  static constexpr int kScreenWidth = 1280;
  static constexpr int kScreenHeight = 1024;

  // Starts Xvfb; when that is impossible, Available() is false and
  // Unavailable() says why (the caller skips its test).
  XSession();
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  bool Available() const { return unavailable_.empty(); }
  const std::string& Unavailable() const { return unavailable_; }
  const std::string& Display() const { return display_; }

  // Runs a shell command on this display; returns its exit status and,
  // when `output` is given, its standard output.
  int Run(const std::string& command, std::string* output = nullptr) const;

  // Takes a screenshot of the whole screen, keeps it as `png_path` for a
  // person to look at, and returns its pixels (empty on failure).
  Screenshot Capture(const std::string& png_path) const;

  // Starts `command` (program path, then its arguments) in `folder` on
  // this display with `language` as LANG; it is stopped by StopProgram or
  // at the end of the session.
  pid_t StartProgram(const std::vector<std::string>& command, const std::string& folder,
                     const std::string& language = "C");
  // True while the program runs (reaps it when it has ended; `exit_code`
  // then receives its exit status, or -1 when it died by a signal).
  bool ProgramRunning(pid_t pid, int* exit_code = nullptr);
  void StopProgram(pid_t pid);

 private:
  pid_t server_pid_ = -1;
  std::string display_;
  std::string unavailable_;
  std::vector<pid_t> programs_;
};

}  // namespace gtk_test
