// A bundle built from release files without holding it in memory: the
// members' bytes in order, then the trailer, read through BundleReader.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bundle_format.h"
#include "file_io.h"
#include "release_tree.h"

namespace mkupdate {

struct BundleSource {
  std::vector<BundleMember> layout;     // names and ranges, in member order
  std::vector<std::string> real_paths;  // the member files, same order
  int64_t size = 0;                     // member data + trailer
};

// Lays the files out one after another. Throws Exception naming the bundle
// and every offending file: more than 100 members, a name over 80 bytes,
// member data past the 2 GiB the 32-bit offsets can address.
BundleSource LayOutBundle(const std::string& bundle_name, const std::vector<ReleaseFile>& members);

// Reads the bundle's bytes. Throws EInOutError when a member file's size
// is no longer the size it was laid out with (changed during publishing).
class BundleReader {
 public:
  explicit BundleReader(const BundleSource& source);
  size_t Read(char* buffer, size_t n);

 private:
  const BundleSource& source_;
  size_t member_ = 0;
  int64_t member_done_ = 0;
  std::unique_ptr<InputFile> file_;
  std::string trailer_;
  size_t trailer_done_ = 0;
};

}  // namespace mkupdate
