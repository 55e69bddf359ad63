// The files of a release: everything under a game folder, named as the
// updater names them (relative, backslashes), minus the updater's own
// state files, which belong to each player and are never shipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkupdate {

struct ReleaseFile {
  std::string name;       // relative Windows-style name, e.g. "System\Core.u"
  std::string real_path;  // game folder + name with '/'
  int64_t size = 0;
  int64_t mtime = 0;  // Unix seconds
  bool executable = false;  // any execute bit set (of what a link names)
};

// Every regular file below game_dir, sorted by name, except the updater's
// state in the top folder ("update2.dat", "update3.dat", "updtmp.dat",
// "update2.sig.ts", "ErrorList.TXT", "isp1.dat", compared ignoring case) and
// the names in also_skip (top-folder names, ignoring case). A symbolic link
// that stays in the release is published as what it names, under the
// link's name: a file's content, or a folder's files below the link's path.
// A link that leads nowhere is passed over.
// Throws Exception when game_dir cannot be read. Reported in `problems`
// (one line each, naming the file) and left out: a file whose name cannot
// appear in a list line (a space, a backslash or a control byte in it) or
// ends in a temporary suffix of the updater (platform::IsTemporaryFileName),
// and a link that leads out of the release or back into a folder that holds
// it (a loop).
std::vector<ReleaseFile> ScanRelease(const std::string& game_dir, const std::vector<std::string>& also_skip,
                                     std::vector<std::string>& problems);

// ASCII-only upper-casing, as the updater compares names (bytes >= 0x80 kept).
std::string AsciiUpper(const std::string& text);
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

// Windows-style name to a '/' path relative to the game folder.
std::string ToSlashes(std::string name);

}  // namespace mkupdate
