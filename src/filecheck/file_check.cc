#include "filecheck/file_check.h"

#include "app/texts/texts.h"
#include "filecheck/check_list.h"
#include "filecheck/measure_pass.h"
#include "filecheck/repair_pass.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "update/list_file.h"
#include "update/status_display.h"
#include "vcl/application.h"
#include "vcl/image.h"
#include "vcl/label.h"

void Image8Click(UpdateWindow& w) {
  if (!w.Image3->Visible()) return;
  const std::string list_path = platform::ResolveGameFileName(w.ExeDir, "datec.dat");
  if (!platform::FileExists(list_path)) {
    Application.MessageBox(CheckListMissingText(w.LangLetter), Application.Title, MB_OK);
    return;
  }
  const std::vector<CheckRecord> records = ReadCheckList(list_path);

  const std::vector<MismatchedFile> mismatches = MeasureFiles(w, records);
  if (mismatches.empty()) {
    SetStatusText(w, SelectText(kFilesChecked, w.LangLetter));
    return;
  }
  SetStatusText(w, FilesCheckRemainText(static_cast<int>(mismatches.size()), w.LangLetter));
  w.Label3->Invalidate();
  w.CheckMode = true;

  const RepairResult result = RepairFiles(w, mismatches);
  if (result.window_closed || result.unrepaired.empty()) return;
  SaveListFile(platform::ResolveGameFileName(w.ExeDir, kUnrepairedListFile), result.unrepaired);
  SetStatusText(w, SelectText(kCheckUnrepaired, w.LangLetter));
}
