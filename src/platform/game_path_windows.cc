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

// Sets published on Windows name their files in Big5, sets published
// where names are bytes may name them in UTF-8: a name that is valid UTF-8
// is taken as such, any other through the Big5 code page whatever the
// system's own, so that a set installs under the same names on every
// Windows. (A whole Big5 name that is also valid UTF-8 is rare.)
std::string SystemSpellingOf(const std::string& list_component) {
  const int size = static_cast<int>(list_component.size());
  if (size == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, list_component.data(), size, nullptr, 0) > 0)
    return list_component;
  constexpr UINT kBig5CodePage = 950;
  const int length = MultiByteToWideChar(kBig5CodePage, 0, list_component.data(), size, nullptr, 0);
  if (length <= 0) return list_component;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(kBig5CodePage, 0, list_component.data(), size, wide.data(), length);
  return Utf8FromWide(wide);
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
