#include "platform/game_path.h"

#include <cctype>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/folder_entry.h"

namespace platform {

namespace {

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

std::string ResolveGameFileName(const std::string& exe_dir, const std::string& windows_name) {
  const std::vector<std::string> components = SplitComponents(windows_name);
  std::string path = exe_dir;
  bool matching = true;  // false once a component is missing: nothing below it exists
  for (size_t i = 0; i < components.size(); ++i) {
    const std::string component = SystemSpellingOf(components[i]);
    std::string spelled = component;
    if (matching && component != "..") {
      if (std::optional<std::string> found = FindFolderEntry(path, component)) {
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
    const std::string_view component = rest.substr(0, end);
    if (component == ".." || IsReservedOnThisSystem(component)) return false;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return true;
}

bool IsWindowsReservedComponent(std::string_view component) {
  if (component.empty()) return false;
  if (component.find(':') != std::string_view::npos) return true;
  if (component.back() == '.' || component.back() == ' ') return component != "." && component != "..";
  // A device name stays a device with an extension ("nul.txt") and with
  // spaces before it ("CON .txt").
  std::string_view stem = component.substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  std::string upper(stem);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"}) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace platform
