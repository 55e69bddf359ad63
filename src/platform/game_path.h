// Windows-style names of the game's files turned into real paths. The game
// names its files relative to the updater's folder, with backslashes, on a
// file system that ignores case; here the folder is a real Linux folder.
#pragma once

#include <string>

namespace platform {

// Returns exe_dir followed by windows_name made into a real path.
// exe_dir is a real folder ending in '/'. windows_name is relative, with '\'
// or '/' separators; empty components (doubled separators, a leading
// separator) and "." are dropped. Each component that exists on disk is
// replaced by its on-disk spelling, matched ignoring ASCII case (an exact
// match is preferred; among several case variants the smallest in byte
// order wins); components that do not exist keep the case given, as do all
// components after the first missing one. A trailing separator is kept.
// ".." is kept as given: pass names from outside through IsSafeRelativeName
// first. "" returns exe_dir.
std::string ResolveGameFileName(const std::string& exe_dir, const std::string& windows_name);

// True when windows_name stays inside the folder it is relative to: not
// empty, not absolute ('\' or '/' first), no drive prefix ("C:..."), and no
// ".." component. Use on every name that comes from a server.
bool IsSafeRelativeName(const std::string& windows_name);

}  // namespace platform
