#include "bundle_format.h"

#include "platform/game_path.h"

namespace mkupdate {

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
    if (!m.RangeWithin(data_end))
      problems.push_back(which + ": range " + std::to_string(m.start) + ".." + std::to_string(m.end) +
                         " is not inside the member data (0.." + std::to_string(data_end) + ")");
    if (m.name_too_long)
      problems.push_back(which + ": name is longer than 80 bytes");
    else if (!platform::IsSafeRelativeName(m.name))
      problems.push_back(which + ": name is not a relative name inside the game folder");
  }
  return problems;
}

}  // namespace mkupdate
