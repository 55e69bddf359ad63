#include "platform/process.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/command_line.h"
#include "platform/game_path.h"
#include "platform/windows_api.h"

#include <shellapi.h>  // after <windows.h>, which it needs

namespace platform {

namespace {

unsigned WinExecResultOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return kFileNotFound;
    case ERROR_ACCESS_DENIED:
      return kAccessDenied;
    case ERROR_BAD_EXE_FORMAT:
      return kBadFormat;
    default:
      return kOutOfResources;
  }
}

HANDLE StreamHandle(StandardStream stream) {
  return GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

// The program is named on its own (lpApplicationName), so the search of
// the system's folders that a bare command line would start never runs;
// the command line repeats it, quoted, ahead of the other words.
unsigned WinExec(const std::string& exe_dir, const std::string& command_line, int show_mode) {
  const std::vector<std::string> words = SplitOnSpaces(command_line);
  if (words.empty()) return kFileNotFound;
  const std::string program = ResolveGameFileName(exe_dir, words[0]);
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(program).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return kFileNotFound;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kAccessDenied;

  std::string line = "\"" + program + "\"";
  for (size_t i = 1; i < words.size(); ++i) line += " " + words[i];
  std::wstring wide_line = WideFromUtf8(line);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show_mode);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(WideFromUtf8(program).c_str(), wide_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      WideFromUtf8(exe_dir).c_str(), &startup, &started))
    return WinExecResultOf(GetLastError());
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return kWinExecStarted;
}

bool IsTerminal(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(StreamHandle(stream), &mode) != 0;
}

std::optional<int> TerminalColumns(StandardStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(StreamHandle(stream), &info)) return std::nullopt;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  if (columns <= 0) return std::nullopt;
  return columns;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

void PrepareStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
}

long CurrentProcessId() { return static_cast<long>(GetCurrentProcessId()); }

}  // namespace platform
