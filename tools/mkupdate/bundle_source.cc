#include "bundle_source.h"

#include <cstring>

#include "platform/errors.h"

namespace mkupdate {

BundleSource LayOutBundle(const std::string& bundle_name, const std::vector<ReleaseFile>& members) {
  BundleSource source;
  std::string refused;
  if (members.size() > kBundleMaxMembers)
    refused += "\n  " + std::to_string(members.size()) + " members; a bundle holds at most 100";
  int64_t offset = 0;
  for (const ReleaseFile& file : members) {
    if (file.name.size() > kBundleMaxNameLength)
      refused += "\n  " + file.name + ": the name is " + std::to_string(file.name.size()) +
                 " bytes; a bundle member name holds at most 80";
    BundleMember member{file.name, offset, offset + file.size};
    offset += file.size;
    source.layout.push_back(member);
    source.real_paths.push_back(file.real_path);
  }
  if (offset > kBundleMaxDataSize)
    refused += "\n  the members hold " + std::to_string(offset) +
               " bytes; member offsets are 32-bit, so a bundle holds less than 2 GiB";
  if (!refused.empty()) throw Exception("Cannot build bundle " + bundle_name + ":" + refused);
  source.size = offset + kBundleTrailerSize;
  return source;
}

BundleReader::BundleReader(const BundleSource& source) : source_(source) {}

size_t BundleReader::Read(char* buffer, size_t n) {
  while (member_ < source_.layout.size()) {
    const BundleMember& member = source_.layout[member_];
    int64_t length = member.end - member.start;
    if (!file_) {
      file_ = std::make_unique<InputFile>(source_.real_paths[member_]);
      member_done_ = 0;
    }
    size_t got = member_done_ < length ? file_->Read(buffer, std::min<int64_t>(n, length - member_done_)) : 0;
    if (got == 0) {
      char probe;
      if (member_done_ != length || file_->Read(&probe, 1) != 0)
        throw EInOutError(source_.real_paths[member_] + " changed while it was being published; publish again");
      file_.reset();
      ++member_;
      continue;
    }
    member_done_ += static_cast<int64_t>(got);
    return got;
  }
  if (trailer_.empty()) trailer_ = EncodeBundleTrailer(source_.layout);
  size_t take = std::min(n, trailer_.size() - trailer_done_);
  std::memcpy(buffer, trailer_.data() + trailer_done_, take);
  trailer_done_ += take;
  return take;
}

}  // namespace mkupdate
