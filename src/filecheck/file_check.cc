#include "filecheck/file_check.h"

#include "texts/texts.h"
#include "filecheck/check_list.h"
#include "filecheck/measure_pass.h"
#include "filecheck/repair_pass.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "lists/list_file.h"

FileCheckResult Image8Click(UpdateEngine& e) {
  if (!e.StartGameShown) return {};
  const std::string list_path = platform::ResolveGameFileName(e.ExeDir, "datec.dat");
  if (!platform::FileExists(list_path)) {
    e.View.ShowBox(CheckListMissingText(e.LangLetter), BoxIcon::kNone);
    return {};
  }
  const std::vector<CheckRecord> records = ReadCheckList(list_path);

  const std::vector<MismatchedFile> mismatches = MeasureFiles(e, records);
  if (mismatches.empty()) {
    e.View.SetStatusText(SelectText(kFilesChecked, e.LangLetter));
    return {};
  }
  e.View.SetStatusText(FilesCheckRemainText(static_cast<int>(mismatches.size()), e.LangLetter));
  e.CheckMode = true;

  const RepairResult result = RepairFiles(e, mismatches);
  if (result.window_closed || result.unrepaired.empty()) return {};
  const std::string unrepaired_list_path = platform::ResolveGameFileName(e.ExeDir, kUnrepairedListFile);
  SaveListFile(unrepaired_list_path, result.unrepaired);
  e.View.SetStatusText(SelectText(kCheckUnrepaired, e.LangLetter));
  return {result.unrepaired.size(), unrepaired_list_path};
}
