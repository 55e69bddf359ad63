#include "update/forced_update.h"

#include "app/texts/texts.h"
#include "platform/game_path.h"
#include "update/list_file.h"
#include "update/pending_list.h"
#include "update/update_run.h"
#include "vcl/application.h"
#include "vcl/image.h"
#include "vcl/list_box.h"
#include "vcl/std_controls.h"

void RebuildForForcedUpdate(UpdateWindow& w) {
  w.ServerList.emplace();
  w.PendingList.emplace();
  w.RecordList.emplace();
  w.ListBox1->Items.Clear();
  w.ServerList = LoadListFile(platform::ResolveGameFileName(w.ExeDir, "update3.dat"));
  PrepareRecordList(*w.RecordList);
  // The files the old record names are about to be rewritten in place: a
  // run killed meanwhile must not leave a half-written file recorded, so
  // the emptied record reaches the disk first.
  SaveListFile(platform::ResolveGameFileName(w.ExeDir, "update2.dat"), *w.RecordList);
  PendingEntries entries = ComparePendingEntries(*w.ServerList, *w.RecordList);
  *w.PendingList = std::move(entries.pending);
  for (const std::string& name : entries.names) w.ListBox1->Items.Add(name);
}

void ForcedUpdateCommand(UpdateWindow& w) {
  if (w.ForcedUpdateActive) return;
  // Before a check has compared the lists there is no record to rebuild,
  // and BuildPendingList would still add its entries to ListBox1.
  if (!w.RecordList) return;
  if (!w.Button1->Enabled() && !w.Image3->Visible()) return;
  const std::string question = SelectText(kForcedUpdateQuestion, w.LangLetter);
  if (Application.MessageBox(question, Application.Title, MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  w.ForcedUpdateActive = true;
  RebuildForForcedUpdate(w);
  Button1Click(w);
  w.ForcedUpdateActive = false;
}
