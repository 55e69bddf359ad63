#include "server_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/errors.h"

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

ServerFolderLock::ServerFolderLock(const std::string& folder) {
  // The folder itself is locked, so no lock file shows in the server's listing.
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) throw EFOpenError("Cannot open folder " + folder + ": " + std::strerror(errno));
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    fd_ = -1;
    throw Exception("Another mkupdate is publishing to " + folder + "; try again when it has finished");
  }
}

ServerFolderLock::~ServerFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

TempFiles::~TempFiles() {
  for (const std::string& path : paths_) std::remove(path.c_str());
}

std::string TempFiles::NewPath() {
  std::string path = InFolder(folder_, kTempPrefix + std::to_string(::getpid()) + "-" + std::to_string(++counter_));
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
