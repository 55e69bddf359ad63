// Bundles: several member files packed into one file, followed by a
// directory trailer. The unpacked form of the "C", "T", "A", "S" and "W"
// entries of the server list.
//
// Layout (little-endian): member data anywhere before the trailer; the
// trailer is the last 8989 bytes, 101 records of 89 bytes. Record 0 starts
// with the signed 32-bit member count; record k (1..100) holds the member's
// start and end offsets (signed 32-bit, end is one past the last byte), a
// name length byte (0..80) and 80 name bytes: a Windows-style name relative
// to the game folder.
#pragma once

#include <string>
#include <vector>

inline constexpr int kBundleRecordSize = 89;
inline constexpr int kBundleMaxMembers = 100;
inline constexpr int kBundleTrailerSize = kBundleRecordSize * (kBundleMaxMembers + 1);  // 8989
inline constexpr int kBundleMaxNameLength = 80;

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
// prefix, "..", empty or longer than 80), when its range does not lie
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
