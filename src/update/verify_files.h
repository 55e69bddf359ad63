// "Verify game files": every "E" and "O" file the record names is hashed
// and compared with the SHA-256 of the installed file that its server line
// gives (field 7); each that differs, or is missing, is fetched again
// through ProcessEntry and checked once more. One of the updater's own
// files (IsUpdaterOwnFile) is compared but never fetched again. A bundle
// leaves no digest of its members behind, so recorded bundles are only
// named, as not verifiable.
#pragma once

#include <string>
#include <vector>

#include "update/update_engine.h"

struct [[nodiscard]] VerifyReport {
  int checked = 0;                        // files compared with their digest
  std::vector<std::string> repaired;      // local names reinstalled, or given their listed execute bits, and now right
  std::vector<std::string> unrepaired;    // local names still wrong: "<name>: <why>"
  std::vector<std::string> unverifiable;  // local names whose line gives no digest
  std::vector<std::string> unverifiable_bundles;  // local names of recorded bundles, whose members go unchecked
  bool stopped = false;                   // the in-use stop ended the run

  bool AllRight() const { return unrepaired.empty() && !stopped; }
};

// Runs over the lines of ServerList whose local name the record holds at
// the listed version (an entry still pending is left to the update run).
// Needs the comparison's lists (a check that reached it) and, for repairs,
// the connection. Removes what a killed run left first and flushes the
// repaired files to disk at the end, as the update run does. Pumps
// messages while downloading; throws what ProcessEntry throws and the
// flush's EInOutError.
VerifyReport VerifyGameFiles(UpdateEngine& e);
