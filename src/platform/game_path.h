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
// Outside a FolderListingScope each lookup of a case variant reads the
// folder anew; within one, each folder is read once (see below).
std::string ResolveGameFileName(const std::string& exe_dir, const std::string& windows_name);

// While an object of this class lives, ResolveGameFileName reads each
// folder it needs to search once and keeps that listing, so that resolving
// n new names in one folder costs O(n log n) rather than O(n^2). The
// listings follow every change to those folders, whoever makes it (this
// process on any thread, a program it started, anyone else), with the
// matching rules unchanged. They hold one entry per name of each folder
// searched, and are dropped when the last scope ends. Scopes nest and may
// live on any thread. Where the system gives no change notifications the
// scope changes nothing.
class FolderListingScope {
 public:
  FolderListingScope();
  ~FolderListingScope();
  FolderListingScope(const FolderListingScope&) = delete;
  FolderListingScope& operator=(const FolderListingScope&) = delete;
};

// True when windows_name stays inside the folder it is relative to: not
// empty, not absolute ('\' or '/' first), no drive prefix ("C:..."), and no
// ".." component. On Windows, also no component that the system would take
// for something else (IsWindowsReservedComponent). Use on every name that
// comes from a server.
bool IsSafeRelativeName(const std::string& windows_name);

// True for a component that Windows does not open as a file of that name: a
// device (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, CLOCK$, in
// any case and with any extension), a name holding ':' (a data stream of
// another file), or one ending in '.' or ' ' (which Windows strips).
bool IsWindowsReservedComponent(std::string_view component);

// True when the folders on the way to `path` (a real path below exe_dir, as
// ResolveGameFileName gives it) stay inside exe_dir once symbolic links are
// followed: the real path of its deepest existing folder lies in the real
// path of exe_dir (which may itself be reached through links). A link
// inside the folder that leads to another place inside it is fine. The last
// component of path is not followed: a file link there is replaced by the
// rename that installs a file, never written through. False when the
// existing folders cannot be resolved (a dangling link or a loop among them).
bool FoldersStayInside(const std::string& exe_dir, const std::string& path);

}  // namespace platform
