#include "filecheck/signed_repair.h"

#include "lists/server_entry.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "update/process_entry.h"
#include "update/signed_set.h"
#include "update/updater_files.h"

bool RepairTakesOnlySignedEntries(const UpdateEngine& e) {
  return e.SignedSet || platform::FileExists(platform::ResolveGameFileName(e.ExeDir, kGameKeyName));
}

SignedRepair RepairFromSignedList(UpdateEngine& e, const MismatchedFile& file) {
  if (!e.SignedSet || !e.ServerList || IsUpdaterOwnFile(file.name)) return SignedRepair::kNoEntry;
  const std::string key = GameFileKey(file.name);
  // Indexes, not iterators: an install may pump messages.
  for (size_t i = 1; i < e.ServerList->size(); ++i) {
    const std::string line = (*e.ServerList)[i];
    // Only these types install their local name itself; the others are bundles, taken apart and deleted.
    const ServerEntry entry = ParseServerEntry(line).entry;
    if (const EntryHandling handling = HandlingOf(entry.type, false); !handling.downloads || handling.bundle) continue;
    if (GameFileKey(entry.local) != key) continue;
    switch (ProcessEntry(e, line, true)) {
      case EntryOutcome::kInstalled:
        return SignedRepair::kRepaired;
      case EntryOutcome::kPassedOver:
        return SignedRepair::kNotRepaired;
      case EntryOutcome::kStopped:
        return SignedRepair::kStopped;
    }
  }
  return SignedRepair::kNoEntry;
}
