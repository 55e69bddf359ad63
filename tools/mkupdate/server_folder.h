// The server folder as the publisher's tool handles it: exclusive use while
// publishing, temporary files that vanish on failure, and its listing.
#pragma once

#include <string>
#include <vector>

#include "platform/folder_lock.h"

namespace mkupdate {

// Names starting with this are the tool's own files (hidden from listings).
inline constexpr const char* kToolFilePrefix = ".mkupdate-";

// folder + "/" + name.
std::string InFolder(const std::string& folder, const std::string& name);

// Creates the folder, with any missing folders above it, unless it exists.
// Throws Exception naming the folder and the reason when that fails.
void MakeServerFolder(const std::string& folder);

// Holds an exclusive lock on the folder, leaving no file in it. Throws
// Exception when another publish holds it, EFOpenError when the folder
// cannot be locked.
class ServerFolderLock {
 public:
  explicit ServerFolderLock(const std::string& folder);

 private:
  platform::WholeFolderLock lock_;
};

// Temporary files in the server folder, removed on destruction unless
// handed over by Release (after their rename).
class TempFiles {
 public:
  explicit TempFiles(const std::string& folder) : folder_(folder) {}
  ~TempFiles();
  TempFiles(const TempFiles&) = delete;
  TempFiles& operator=(const TempFiles&) = delete;

  std::string NewPath();
  void Release(const std::string& path);
  // Removes temporary files a crashed run left behind (the lock is held).
  void RemoveLeftovers();

 private:
  std::string folder_;
  std::vector<std::string> paths_;
  int counter_ = 0;
};

// Names of the regular files in the folder, as a server would list them:
// the tool's own hidden files left out, sorted.
std::vector<std::string> ListServerFolder(const std::string& folder);

}  // namespace mkupdate
