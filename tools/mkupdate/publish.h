// Publishing a release: the game folder as players should have it becomes
// the server folder's gzip files, bundles and "update3.dat".
#pragma once

#include <cstdint>
#include <ctime>
#include <ostream>
#include <string>

#include "set_signing.h"

namespace mkupdate {

// Served E and O files of at least this many bytes get a chunk index.
inline constexpr int64_t kDefaultDeltaMin = 4 * 1024 * 1024;

struct PublishOptions {
  std::string game_dir;
  std::string server_dir;
  std::string rules_path;  // empty: no bundles, no raw files
  int level = 6;           // gzip level 1..9
  std::string version;     // empty: chosen (see version.h)
  std::time_t now = 0;     // the date new versions carry, and the signatures' timestamp
  std::string sign_key_path;  // a secret key: sign update3.dat and bulletin.htm; empty: no signing
  int expiry_days = kDefaultExpiryDays;  // of the signatures
  int64_t delta_min = kDefaultDeltaMin;  // 0: no chunk indexes
};

// Writes or updates the server folder, creating it when it does not exist
// (it then stays, empty, if publishing fails). An entry whose server file already
// installs the release's content keeps its line and version; new and
// changed entries get this publication's version, greater than every
// version the set has issued and of the same width; files that left the
// release are dropped from the list (and their server files removed after
// the list no longer names them). New server files are written under
// temporary names first, renamed into place, and "update3.dat" is replaced
// last by rename, so players see the old set or the new one. Every line
// carries the SHA-256 digests of its files (lists/digest_fields.h), taken
// while the files are written or compared. With a secret key, the new list
// is signed right after it is in place (update3.dat.minisig), and so is
// bulletin.htm when the folder has one; a key inside the server or game
// folder is refused before anything is written. A new or changed E or O
// file of at least delta_min bytes gets a chunk index beside its server
// file (delta/chunk_index.h), whose SHA-256 its line carries in field 10;
// an unchanged entry keeps its index while the index file still holds
// that digest and delta_min still asks for one, and otherwise loses field
// 10 (it gets an index when its content next changes). Index files the
// new list no longer names are removed with the server files.
// Reports each new, changed and dropped entry and every warning on `out`.
// Throws Exception with the reasons when the release cannot be published;
// the server folder is then as it was.
void Publish(const PublishOptions& options, std::ostream& out);

}  // namespace mkupdate
