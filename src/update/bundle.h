// Taking a bundle apart into the game folder (the bundle's layout:
// formats/bundle_trailer.h).
#pragma once

#include <string>
#include <vector>

#include "formats/bundle_trailer.h"

struct BundleExtraction {
  int extracted = 0;                 // members written completely
  std::vector<std::string> skipped;  // one sentence per member passed over, saying why
  int unwritable = 0;                // of those, members whose file could not be written (a full disk)
  bool Succeeded() const { return skipped.empty(); }
};

// Writes each member of the bundle at real path `bundle_path` to
// exe_dir + its name (folders created as needed, an existing file replaced).
// Each member is written to its partial file (noted in the install journal,
// see install_journal.h) and renamed over its name once complete, so a
// member's file is always either its old or its new content. Members are
// copied through a fixed-size buffer, so memory use does not depend on
// member sizes. The bundle itself is left in place.
//
// A member is skipped (and named in `skipped`, so the extraction reports
// failure) when its name is not a safe relative name (absolute, drive
// prefix, "..", empty or longer than 80), when it ends in a temporary
// suffix (platform::IsTemporaryFileName), when a link among its folders
// leads out of exe_dir (platform::FoldersStayInside), when its range does not lie
// within the member data (start < 0, end < start, end past the trailer),
// or when its folder cannot be created or its file cannot be written or
// replaced (also counted in `unwritable`: such a failure may pass, a
// refusal will not). A count of 0 or less extracts nothing and succeeds.
//
// Throws EFOpenError "Cannot open file <path>" when the bundle cannot be
// opened, EInOutError "Read beyond end of file" when it is shorter than its
// trailer, ERangeError "Range check error" for a count above 100, and the
// install journal's errors.
BundleExtraction ExtractBundle(const std::string& exe_dir, const std::string& bundle_path);
