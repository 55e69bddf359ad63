#include "update/folder_path.h"

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "lists/list_file.h"

void RequireFolderPath(const std::string& exe_dir, const std::string& windows_file_name) {
  MakeFolderPath(exe_dir, windows_file_name);
  const std::string path = platform::ResolveGameFileName(exe_dir, windows_file_name);
  if (!platform::FoldersStayInside(exe_dir, path))
    throw EFOpenError("Cannot create folder " + path.substr(0, path.rfind('/')) +
                      ": a link leads out of the game folder");
  for (size_t slash = path.find('/', exe_dir.size()); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (platform::DirectoryExists(folder)) continue;
    throw EFOpenError("Cannot create folder " + folder +
                      (platform::FileExists(folder) ? ": a file stands in its place" : ""));
  }
}
