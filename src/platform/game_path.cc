#include "platform/game_path.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/folder_listings.h"

namespace platform {

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// The on-disk spelling of component inside folder (a real path ending in
// '/'), or nothing when no entry matches it ignoring ASCII case.
std::optional<std::string> FindEntry(const std::string& folder, const std::string& component) {
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

std::vector<std::string> SplitComponents(const std::string& windows_name) {
  std::vector<std::string> components;
  std::string current;
  for (const char c : windows_name) {
    if (c == '\\' || c == '/') {
      if (!current.empty() && current != ".") components.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty() && current != ".") components.push_back(current);
  return components;
}

}  // namespace

FolderListingScope::FolderListingScope() { OpenFolderListings(); }

FolderListingScope::~FolderListingScope() { CloseFolderListings(); }

std::string ResolveGameFileName(const std::string& exe_dir, const std::string& windows_name) {
  const std::vector<std::string> components = SplitComponents(windows_name);
  std::string path = exe_dir;
  bool matching = true;  // false once a component is missing: nothing below it exists
  for (size_t i = 0; i < components.size(); ++i) {
    const std::string& component = components[i];
    std::string spelled = component;
    if (matching && component != "..") {
      if (std::optional<std::string> found = FindEntry(path, component)) {
        spelled = *found;
      } else {
        matching = false;
      }
    }
    path += spelled;
    if (i + 1 < components.size()) path += '/';
  }
  const bool trailing_separator =
      !windows_name.empty() && (windows_name.back() == '\\' || windows_name.back() == '/');
  if (!components.empty() && trailing_separator) path += '/';
  return path;
}

bool IsSafeRelativeName(const std::string& windows_name) {
  if (windows_name.empty()) return false;
  if (windows_name[0] == '\\' || windows_name[0] == '/') return false;
  if (windows_name.size() >= 2 && windows_name[1] == ':') return false;
  std::string_view rest = windows_name;
  while (true) {
    const size_t end = rest.find_first_of("\\/");
    if (rest.substr(0, end) == "..") return false;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return true;
}

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
