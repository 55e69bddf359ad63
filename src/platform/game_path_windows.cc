#include "platform/game_path.h"

#include <optional>

#include "platform/folder_entry.h"
#include "platform/windows_api.h"

namespace platform {

namespace {

bool Exists(const std::string& path) { return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// The final path of an existing file or folder, links and junctions
// followed, spelled as the system stores it; nothing when it cannot be
// opened.
std::optional<std::wstring> FinalPathOf(const std::string& path) {
  const HANDLE handle = OpenFileHandle(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring final_path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  if (length >= final_path.size()) {
    final_path.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  }
  CloseHandle(handle);
  if (length == 0 || length >= final_path.size()) return std::nullopt;
  final_path.resize(length);
  while (!final_path.empty() && final_path.back() == L'\\') final_path.pop_back();
  return final_path;
}

}  // namespace

// NTFS matches names without regard to case itself: a component that
// exists is found as spelled.
std::optional<std::string> FindFolderEntry(const std::string& folder, const std::string& component) {
  if (Exists(folder + component)) return component;
  return std::nullopt;
}

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
