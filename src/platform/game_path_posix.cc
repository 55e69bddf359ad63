#include "platform/game_path.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/ascii_case.h"
#include "platform/folder_entry.h"
#include "platform/folder_listings.h"

namespace platform {

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::optional<std::string> FindFolderEntry(const std::string& folder, const std::string& component) {
  if (Exists(folder + component)) return component;
  if (std::optional<std::string> match; FindInFolderListing(folder, component, match)) return match;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (EqualIgnoringAsciiCase(name, component) && (!best || name < *best)) best = std::string(name);
  }
  closedir(dir);
  return best;
}

std::string SystemSpellingOf(const std::string& list_component) { return list_component; }

// Any name but "" and "/" is a file name here.
bool IsReservedOnThisSystem(std::string_view) { return false; }

FolderListingScope::FolderListingScope() { OpenFolderListings(); }

FolderListingScope::~FolderListingScope() { CloseFolderListings(); }

bool FoldersStayInside(const std::string& exe_dir, const std::string& path) {
  char real_root[PATH_MAX];
  if (realpath(exe_dir.c_str(), real_root) == nullptr) return false;
  // Without a trailing '/', so that a link among the folders is examined
  // as the link it is.
  std::string folder = path.substr(0, path.rfind('/'));
  while (!folder.empty() && !Exists(folder)) folder.erase(std::min(folder.rfind('/'), folder.size()));
  char real_folder[PATH_MAX];
  if (realpath(folder.empty() ? "/" : folder.c_str(), real_folder) == nullptr) return false;
  const std::string_view root = real_root, inside = real_folder;
  if (root == "/") return true;
  return inside.substr(0, root.size()) == root && (inside.size() == root.size() || inside[root.size()] == '/');
}

}  // namespace platform
