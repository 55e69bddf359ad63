#include "lists/list_file.h"

#include "platform/ascii_case.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "platform/text_lines.h"

std::string_view LineFieldView(std::string_view line, int n) {
  if (n < 1) return {};
  int counter = 0;
  size_t i = 0;
  const size_t size = line.size();
  while (i < size) {
    while (i < size && line[i] == ' ') ++i;
    if (i == size) break;
    const size_t start = i;
    while (i < size && line[i] != ' ') ++i;
    if (++counter == n) return line.substr(start, i - start);
  }
  return {};
}

std::string LineField(const std::string& line, int n) { return std::string(LineFieldView(line, n)); }

std::string NameStem(const std::string& name) {
  const size_t dot = name.find('.');
  return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

std::string GetNameFirstList(const std::string& name, int part) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  if (part == 1) return name.substr(0, dot);
  if (part == 2) return name.substr(dot + 1);
  return {};
}

void MakeFolderPath(const std::string& exe_dir, const std::string& windows_file_name) {
  const size_t last_separator = windows_file_name.find_last_of("\\/");
  if (last_separator == std::string::npos) return;
  const std::string folder = windows_file_name.substr(0, last_separator + 1);
  if (!platform::IsSafeRelativeName(folder)) return;
  // Existing folders come back in their on-disk spelling; each missing one
  // below them is created in turn. Failures are left for the file write.
  const std::string real_folder = platform::ResolveGameFileName(exe_dir, folder);
  if (!platform::FoldersStayInside(exe_dir, real_folder)) return;
  for (size_t slash = real_folder.find('/', exe_dir.size()); slash != std::string::npos;
       slash = real_folder.find('/', slash + 1)) {
    platform::CreateDirectory(real_folder.substr(0, slash));
  }
}

bool IsListedOnServer(const std::vector<std::string>& listing, const std::string& name) {
  for (const std::string& line : listing) {
    if (platform::EqualIgnoringAsciiCase(line, name)) return true;
  }
  return false;
}

LineList LoadListFile(const std::string& path) {
  return platform::SplitTextLines(platform::ReadWholeFile(path));
}

void SaveListFile(const std::string& path, const LineList& lines) {
  std::string content;
  for (const std::string& line : lines) {
    content += line;
    content += "\r\n";
  }
  platform::WriteFileAtomically(path, content);
}
