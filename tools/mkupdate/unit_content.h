// The bytes of a publish unit: comparing them with what the server already
// holds, and writing them as the server file (gzip-compressed, or as they
// are for "O" entries). Everything is streamed in fixed-size blocks.
#pragma once

#include <string>

#include "bundle_source.h"
#include "progress.h"
#include "publish_plan.h"
#include "server_list.h"

namespace mkupdate {

// SHA-256 digests of an entry's files, lower-case hex.
struct UnitDigests {
  std::string served;     // the server file, as downloaded
  std::string installed;  // the file installed from it: E and O entries only
};

// True when the server file of `old` (a real path) installs exactly the
// unit's content as the updater would unpack it: same entry kind, and for
// bundles the same type and package. A missing or damaged server file, or
// one whose size differs from the listed size, counts as different.
// `bundle` is the unit's layout (bundles only). Bytes read from the release
// are counted on `progress`. When true, `digests` holds the digests of the
// files compared (taken while comparing, so the list never carries a
// digest it did not check).
bool ServerHoldsUnit(const PublishUnit& unit, const BundleSource* bundle, const ListedEntry& old,
                     const std::string& server_file, Progress& progress, UnitDigests& digests);

struct ProducedFile {
  char type = 'E';
  int64_t size = 0;  // bytes of the server file
  UnitDigests digests;
};

// Writes the unit's server file to temp_path (not yet synced), taking the
// digests while writing. A file unit of type 'E' whose gzip form is not
// smaller than the file is written as it is instead, and becomes type 'O'.
ProducedFile ProduceUnit(const PublishUnit& unit, const BundleSource* bundle, const std::string& temp_path,
                         int level, Progress& progress);

}  // namespace mkupdate
