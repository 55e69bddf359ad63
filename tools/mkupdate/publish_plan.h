// What a release becomes on the server: one unit per list entry, a single
// file (an "E" or "O" entry) or a bundle of files ("C", "T", "A", "S", "W")
// as the rules say.
#pragma once

#include <string>
#include <vector>

#include "release_tree.h"
#include "rules.h"

namespace mkupdate {

struct PublishUnit {
  bool is_bundle = false;
  char type = 'E';          // bundles: the rule's type; files: 'O' when raw, else 'E'
  std::string local;        // the entry's local name
  std::string package;      // bundles of T, A, S, W
  std::vector<ReleaseFile> files;  // one for a file unit, the members for a bundle
  int64_t source_size = 0;  // bytes of release data the unit reads
};

// Units in release order, bundles after the single files in rules order.
// Throws Exception listing every problem (one per line): two files whose
// names differ only in case, a file matched by
// two bundles, a bundle whose patterns match no file, a bundle local name
// that is also a release file.
std::vector<PublishUnit> PlanUnits(const std::vector<ReleaseFile>& release, const Rules& rules);

}  // namespace mkupdate
