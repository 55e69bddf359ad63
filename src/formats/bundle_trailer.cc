#include "formats/bundle_trailer.h"

#include <algorithm>
#include <cstring>

#include "platform/little_endian.h"

BundleTrailer DecodeBundleTrailer(std::string_view bytes) {
  BundleTrailer trailer;
  trailer.count = platform::ReadLe32(bytes.data());
  const int used = std::clamp(trailer.count, 0, kBundleMaxMembers);
  for (int k = 1; k <= used; ++k) {
    const char* record = bytes.data() + static_cast<size_t>(k) * kBundleRecordSize;
    BundleMember member;
    member.start = platform::ReadLe32(record);
    member.end = platform::ReadLe32(record + 4);
    const int name_length = static_cast<unsigned char>(record[8]);
    member.name_too_long = name_length > kBundleMaxNameLength;
    if (!member.name_too_long) member.name.assign(record + 9, static_cast<size_t>(name_length));
    trailer.members.push_back(std::move(member));
  }
  return trailer;
}

std::string EncodeBundleTrailer(const std::vector<BundleMember>& members) {
  std::string trailer(kBundleTrailerSize, '\0');
  platform::WriteLe32(trailer.data(), static_cast<int32_t>(members.size()));
  for (size_t k = 0; k < members.size(); ++k) {
    char* record = trailer.data() + (k + 1) * kBundleRecordSize;
    platform::WriteLe32(record, static_cast<int32_t>(members[k].start));
    platform::WriteLe32(record + 4, static_cast<int32_t>(members[k].end));
    record[8] = static_cast<char>(members[k].name.size());
    std::memcpy(record + 9, members[k].name.data(), members[k].name.size());
  }
  return trailer;
}
