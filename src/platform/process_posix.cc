#include "platform/process.h"

#include <glib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/command_line.h"
#include "platform/game_path.h"

namespace platform {

unsigned WinExec(const std::string& exe_dir, const std::string& command_line, int /*show_mode*/) {
  std::vector<std::string> words = SplitOnSpaces(command_line);
  if (words.empty()) return kFileNotFound;
  words[0] = ResolveGameFileName(exe_dir, words[0]);

  struct stat info;
  if (stat(words[0].c_str(), &info) != 0) return kFileNotFound;
  if (!S_ISREG(info.st_mode) || access(words[0].c_str(), X_OK) != 0) return kAccessDenied;

  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  // Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the program through an
  // intermediate child it waits for, so the program is never our zombie.
  GError* error = nullptr;
  const gboolean started = g_spawn_async(exe_dir.c_str(), argv.data(), nullptr,
                                         G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
  if (started) return kWinExecStarted;
  unsigned result = kOutOfResources;
  if (error->domain == G_SPAWN_ERROR) {
    if (error->code == G_SPAWN_ERROR_NOENT) result = kFileNotFound;
    if (error->code == G_SPAWN_ERROR_ACCES || error->code == G_SPAWN_ERROR_PERM) result = kAccessDenied;
    if (error->code == G_SPAWN_ERROR_NOEXEC) result = kBadFormat;
  }
  g_error_free(error);
  return result;
}


namespace {

int StreamFd(StandardStream stream) { return stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

bool IsTerminal(StandardStream stream) { return isatty(StreamFd(stream)) == 1; }

std::optional<int> TerminalColumns(StandardStream stream) {
  if (!IsTerminal(stream)) return std::nullopt;
  winsize size{};
  if (ioctl(StreamFd(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  // A terminal that does not know its size (a serial line, some pseudo-terminals).
  const char* columns = std::getenv("COLUMNS");
  if (columns == nullptr) return std::nullopt;
  const std::string_view text = columns;
  int n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size() || n <= 0) return std::nullopt;
  return n;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

void PrepareStandardStreams() {}

long CurrentProcessId() { return static_cast<long>(getpid()); }

}  // namespace platform
