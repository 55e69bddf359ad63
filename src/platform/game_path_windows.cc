#include "platform/game_path.h"

#include <optional>

#include "platform/folder_entry.h"
#include "platform/windows_api.h"

namespace platform {

namespace {

bool Exists(const std::string& path) { return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

// NTFS matches names without regard to case itself: a component that
// exists is found as spelled.
std::optional<std::string> FindFolderEntry(const std::string& folder, const std::string& component) {
  if (Exists(folder + component)) return component;
  return std::nullopt;
}

bool IsReservedOnThisSystem(std::string_view component) { return IsWindowsReservedComponent(component); }

// No listings are kept: the lookups above need none.
FolderListingScope::FolderListingScope() = default;

FolderListingScope::~FolderListingScope() = default;

bool FoldersStayInside(const std::string& exe_dir, const std::string& path) {
  const std::optional<std::wstring> root = FinalPathOf(exe_dir);
  if (!root) return false;
  std::string folder = path.substr(0, path.find_last_of("/\\"));
  while (!folder.empty() && !Exists(folder)) folder.erase(std::min(folder.find_last_of("/\\"), folder.size()));
  const std::optional<std::wstring> inside = FinalPathOf(folder.empty() ? exe_dir : folder);
  if (!inside || inside->size() < root->size()) return false;
  const bool same_start = CompareStringOrdinal(inside->c_str(), static_cast<int>(root->size()), root->c_str(),
                                               static_cast<int>(root->size()), TRUE) == CSTR_EQUAL;
  return same_start && (inside->size() == root->size() || (*inside)[root->size()] == L'\\');
}

}  // namespace platform
