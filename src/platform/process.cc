#include "platform/process.h"

#include <cstdio>
#include <cstdlib>

#include "platform/command_line.h"

namespace platform {

std::vector<std::string> SplitOnSpaces(const std::string& command_line) {
  std::vector<std::string> words;
  std::string current;
  for (const char c : command_line) {
    if (c == ' ') {
      if (!current.empty()) words.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) words.push_back(current);
  return words;
}

std::string WinExecFailureText(unsigned result) {
  switch (result) {
    case kFileNotFound: return "the program file does not exist";
    case kAccessDenied: return "the program file is not executable";
    case kBadFormat: return "the file is not a program this system runs";
    default: return "the system could not start it (error " + std::to_string(result) + ")";
  }
}

void EndProcessNow(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace platform
