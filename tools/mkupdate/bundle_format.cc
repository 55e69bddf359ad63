#include "bundle_format.h"

#include <algorithm>
#include <cstring>

#include "platform/game_path.h"

namespace mkupdate {

void PutInt32(std::string& out, size_t offset, int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

int32_t GetInt32(std::string_view bytes, size_t offset) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  return static_cast<int32_t>(bits);
}

std::string EncodeBundleTrailer(const std::vector<BundleMember>& members) {
  std::string trailer(kBundleTrailerSize, '\0');
  PutInt32(trailer, 0, static_cast<int32_t>(members.size()));
  for (size_t k = 0; k < members.size(); ++k) {
    size_t record = (k + 1) * kBundleRecordSize;
    PutInt32(trailer, record, static_cast<int32_t>(members[k].start));
    PutInt32(trailer, record + 4, static_cast<int32_t>(members[k].end));
    trailer[record + 8] = static_cast<char>(members[k].name.size());
    std::memcpy(&trailer[record + 9], members[k].name.data(), members[k].name.size());
  }
  return trailer;
}

BundleTrailer DecodeBundleTrailer(std::string_view bytes) {
  BundleTrailer trailer;
  trailer.count = GetInt32(bytes, 0);
  int used = std::clamp(trailer.count, 0, kBundleMaxMembers);
  for (int k = 1; k <= used; ++k) {
    size_t record = static_cast<size_t>(k) * kBundleRecordSize;
    BundleMember member;
    member.start = GetInt32(bytes, record);
    member.end = GetInt32(bytes, record + 4);
    size_t length = std::min<size_t>(static_cast<unsigned char>(bytes[record + 8]), kBundleMaxNameLength);
    member.name.assign(bytes.data() + record + 9, length);
    trailer.members.push_back(member);
  }
  return trailer;
}

std::vector<std::string> BundleProblems(const BundleTrailer& trailer, int64_t bundle_size) {
  std::vector<std::string> problems;
  if (bundle_size < kBundleTrailerSize) {
    problems.push_back("shorter (" + std::to_string(bundle_size) + " bytes) than its 8989-byte trailer");
    return problems;
  }
  // Outside 1..100 the updater refuses the bundle or extracts nothing, so
  // the records do not matter.
  if (trailer.count < 1 || trailer.count > kBundleMaxMembers) {
    problems.push_back("member count " + std::to_string(trailer.count) + " is outside 1..100");
    return problems;
  }
  int64_t data_end = bundle_size - kBundleTrailerSize;
  for (size_t k = 0; k < trailer.members.size(); ++k) {
    const BundleMember& m = trailer.members[k];
    std::string which = "member " + std::to_string(k + 1) + " \"" + m.name + "\"";
    if (m.start < 0 || m.end < m.start || m.end > data_end)
      problems.push_back(which + ": range " + std::to_string(m.start) + ".." + std::to_string(m.end) +
                         " is not inside the member data (0.." + std::to_string(data_end) + ")");
    if (!platform::IsSafeRelativeName(m.name))
      problems.push_back(which + ": name is not a relative name inside the game folder");
  }
  return problems;
}

}  // namespace mkupdate
