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
  std::string chunk_index;  // the index's bytes (delta/chunk_index.h), "" when none was asked for
};

// Writes the unit's server file to temp_path (not yet synced), taking the
// digests while writing. A file unit of type 'E' whose gzip form is not
// smaller than the file is written as it is instead, and becomes type 'O'.
// With `indexed` (file units only), the installed bytes are also cut into
// chunks and their index made: an "E" file's gzip stream is then fully
// flushed at each chunk's end, so each chunk's compressed bytes inflate on
// their own. The index is parsed again before it is returned; a refusal
// throws Exception (a fault of this tool, never of the release).
ProducedFile ProduceUnit(const PublishUnit& unit, const BundleSource* bundle, const std::string& temp_path,
                         int level, bool indexed, Progress& progress);

}  // namespace mkupdate
