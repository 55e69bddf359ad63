#include "platform/file_identity.h"

#include <sys/stat.h>

namespace platform {

namespace {
FileIdentity IdentityOf(const struct stat& status) {
  return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}
}  // namespace

std::optional<FileIdentity> IdentityOfFile(const std::string& path) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) return std::nullopt;
  return IdentityOf(status);
}

std::optional<FileIdentity> IdentityOfOpenFile(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return std::nullopt;
  return IdentityOf(status);
}

}  // namespace platform
