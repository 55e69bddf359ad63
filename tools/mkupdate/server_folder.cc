#include "server_folder.h"

#include <algorithm>
#include <filesystem>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace mkupdate {

namespace fs = std::filesystem;

namespace {
const std::string kTempPrefix = std::string(kToolFilePrefix) + "tmp-";
}

std::string InFolder(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

void MakeServerFolder(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw Exception("Cannot create the server folder " + folder + ": " + error.message());
}

ServerFolderLock::ServerFolderLock(const std::string& folder)
    : lock_(folder, std::string(kToolFilePrefix) + "lock") {
  if (lock_.Held()) return;
  if (lock_.Error() != 0)
    throw EFOpenError("Cannot lock folder " + folder + ": " + platform::ErrorText(lock_.Error()));
  throw Exception("Another mkupdate is publishing to " + folder + "; try again when it has finished");
}

TempFiles::~TempFiles() {
  for (const std::string& path : paths_) platform::DeleteFile(path);
}

std::string TempFiles::NewPath() {
  std::string path = InFolder(folder_, kTempPrefix + std::to_string(platform::CurrentProcessId()) + "-" + std::to_string(++counter_));
  paths_.push_back(path);
  return path;
}

void TempFiles::Release(const std::string& path) { paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end()); }

void TempFiles::RemoveLeftovers() {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_, error)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(kTempPrefix, 0) == 0) fs::remove(entry.path(), error);
  }
}

std::vector<std::string> ListServerFolder(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(kToolFilePrefix, 0) == 0 || !entry.is_regular_file(error)) continue;
    names.push_back(name);
  }
  if (error) throw Exception("Cannot list the server folder " + folder + ": " + error.message());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace mkupdate
