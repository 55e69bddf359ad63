// The file check's repair in a game folder that trusts only signed sets:
// a file is fetched again only from an entry of the signed server list,
// whose digests hold the bytes, never from a guess in the server listing.
#pragma once

#include "filecheck/measure_pass.h"
#include "update/update_engine.h"

// True when the game folder ships the publisher's key ("update.pub",
// found ignoring case) or the check accepted ServerList under it
// (e.SignedSet): the repair then takes nothing from the server listing.
bool RepairTakesOnlySignedEntries(const UpdateEngine& e);

enum class SignedRepair {
  kNoEntry,      // no entry of the signed list installs the file (or no list was accepted under the key)
  kRepaired,     // an entry installed it
  kNotRepaired,  // the entry was passed over (a digest that differs, damaged data; the view heard why)
  kStopped,      // the in-use stop closed the main window
};

// Reinstalls `file` through ProcessEntry(line, FromCheck = true) from the
// first "E" or "O" line of ServerList (header skipped) whose local name
// names it, ignoring ASCII case; ProcessEntry holds the download to the
// line's digests. kNoEntry without an accepted signed list (e.SignedSet
// false), or when no such line names the file or the line names one of the
// updater's own files. Pumps messages while downloading; throws what
// ProcessEntry throws.
SignedRepair RepairFromSignedList(UpdateEngine& e, const MismatchedFile& file);
