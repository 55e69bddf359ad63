#include "update/forced_update.h"

#include "lists/list_file.h"
#include "lists/pending_list.h"
#include "platform/game_path.h"
#include "texts/texts.h"
#include "update/update_run.h"

void RebuildForForcedUpdate(UpdateEngine& e) {
  e.ServerList.emplace();
  e.PendingList.emplace();
  e.RecordList.emplace();
  ClearPendingNames(e);
  e.ServerList = LoadListFile(platform::ResolveGameFileName(e.ExeDir, "update3.dat"));
  PrepareRecordList(*e.RecordList);
  // The files the old record names are about to be rewritten in place: a
  // run killed meanwhile must not leave a half-written file recorded, so
  // the emptied record reaches the disk first.
  SaveListFile(platform::ResolveGameFileName(e.ExeDir, "update2.dat"), *e.RecordList);
  PendingEntries entries = ComparePendingEntries(*e.ServerList, *e.RecordList);
  *e.PendingList = std::move(entries.pending);
  for (const std::string& name : entries.names) AddPendingName(e, name);
}

void ForcedUpdateCommand(UpdateEngine& e) {
  if (e.ForcedUpdateActive) return;
  // Before a check has compared the lists there is no record to rebuild,
  // and BuildPendingList would still add its entries to the pending names.
  if (!e.RecordList) return;
  if (!e.UpdateArmed && !e.StartGameShown) return;
  const std::string question = SelectText(kForcedUpdateQuestion, e.LangLetter);
  if (!e.View.AskYesNo(question)) return;
  e.ForcedUpdateActive = true;
  const platform::FolderListingScope listings;  // one for the rebuild and the run
  RebuildForForcedUpdate(e);
  Button1Click(e);
  e.ForcedUpdateActive = false;
}
