// What both systems' WinExec share: the words of a command line, and the
// results it tells apart. Internal to platform.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The Windows results of WinExec for the failures we can tell apart.
inline constexpr unsigned kFileNotFound = 2;
inline constexpr unsigned kAccessDenied = 5;
inline constexpr unsigned kBadFormat = 11;
inline constexpr unsigned kOutOfResources = 0;

// The words of a command line, split at runs of spaces.
std::vector<std::string> SplitOnSpaces(const std::string& command_line);

}  // namespace platform
