// The set a server folder already holds, as the next publish sees it: its
// entries by local name, the entries a stopped publish left half replaced,
// and the version the next publish gives its new and changed entries.
#pragma once

#include <ctime>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "publish_plan.h"
#include "server_list.h"

namespace mkupdate {

struct PreviousSet {
  ServerListFile list;
  std::map<std::string, size_t> by_local;  // upper-cased local name -> first entry index
  std::set<std::string> interrupted;       // upper-cased local names

  // The entry that published this unit before, or null. Import bundles
  // (T, A, S, W) are also found under their revision names (local~n).
  const ListedEntry* Find(const PublishUnit& unit) const;
};

// Reads "update3.dat" (when present) and the marker of a stopped publish
// from the server folder. Lines that are not entries, and second entries
// of one local name, are reported as notes on `out` and left out.
PreviousSet LoadPreviousSet(const std::string& server_dir, std::ostream& out);

// Writes the marker naming the local names whose server files are about
// to be replaced in place; ClearReplacingMarker removes it once the new
// list is in place.
void WriteReplacingMarker(const std::string& server_dir, const std::vector<std::string>& locals);
void ClearReplacingMarker(const std::string& server_dir);

// The version for new and changed entries: `forced` when given (it must be
// greater than every version issued), else NextReleaseVersion over the
// set's greatest version, at the set's width. Throws Exception when the
// set mixes widths and no version is forced.
std::string ChooseReleaseVersion(const PreviousSet& previous, const std::string& forced, std::time_t now);

// The updater installs a changed import bundle (T, A, S, W) only as a new
// entry, so each new content of one gets a new local name: the rule's
// name, then "~2", "~3"... `previous_local` is the name it had before.
std::string NextBundleRevisionName(const std::string& rule_local, const std::string& previous_local);

}  // namespace mkupdate
