// Which file a path or an open file is: the device and inode, which stay
// with the file through renames and tell it from another file put at the
// same path since.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The file the real path names itself (a symbolic link is not followed:
// it is a file of its own); nullopt when nothing is there or it cannot be
// examined.
std::optional<FileIdentity> IdentityOfFile(const std::string& path);

// The file open on descriptor fd; nullopt when it cannot be examined.
std::optional<FileIdentity> IdentityOfOpenFile(int fd);

}  // namespace platform
