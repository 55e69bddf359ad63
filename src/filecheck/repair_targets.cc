#include "filecheck/repair_targets.h"

#include "lists/server_entry.h"
#include "update/updater_files.h"

RepairTargets::RepairTargets(const UpdateEngine& e) {
  if (!e.RecordList) return;
  for (size_t i = 1; i < e.RecordList->size(); ++i) recorded_.insert(GameFileKey(std::string(RecordedNameOf((*e.RecordList)[i]))));
}

std::string RepairTargets::WhyNotWritten(const std::string& name, const std::string& mismatched) const {
  if (IsUpdaterOwnFile(name)) return "\"" + name + "\" is one of the updater's own files";
  const std::string key = GameFileKey(name);
  if (key != GameFileKey(mismatched) && recorded_.count(key) > 0)
    return "\"" + name + "\" is a file the record lists as installed by an entry of its own";
  return "";
}
