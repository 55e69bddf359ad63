// Which game files the file check's search of the server listing may
// write: a listing entry is a guess by base name, so it must never land on
// a file that the updater or the record owns.
#pragma once

#include <string>
#include <unordered_set>

#include "update/update_engine.h"

class RepairTargets {
 public:
  // Takes the local names of the record (e.RecordList, header skipped);
  // none when the record is not loaded.
  explicit RepairTargets(const UpdateEngine& e);

  // "" when the repair of the mismatched file `mismatched` (folder + name)
  // may write the game file `name` (both relative to the game folder);
  // otherwise why not, for a person: `name` is one of the updater's own
  // files (IsUpdaterOwnFile), or the record lists it and it is not
  // `mismatched` itself. Names compare ignoring ASCII case.
  std::string WhyNotWritten(const std::string& name, const std::string& mismatched) const;

 private:
  std::unordered_set<std::string> recorded_;  // GameFileKey of each local name of the record
};
