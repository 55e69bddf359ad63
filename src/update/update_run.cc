#include "update/update_run.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "lists/list_file.h"
#include "platform/errors.h"
#include "platform/event_loop.h"
#include "platform/game_path.h"
#include "platform/process.h"
#include "texts/texts.h"
#include "update/downloads_ahead.h"
#include "update/gauge_units.h"
#include "update/install_journal.h"
#include "update/process_entry.h"
#include "update/run_bytes.h"

namespace {

// Removes the partial downloads that the run's sweep kept and no entry of
// the run continued, however the run ends.
class UnusedDownloadsRemoval {
 public:
  explicit UnusedDownloadsRemoval(UpdateEngine& e) : e_(e) {}
  ~UnusedDownloadsRemoval() {
    try {
      Remove();
    } catch (const std::exception&) {
      // A listener that throws while the run unwinds: the files stay noted
      // in the journal, and the next run's sweep takes them.
    }
  }
  UnusedDownloadsRemoval(const UnusedDownloadsRemoval&) = delete;
  UnusedDownloadsRemoval& operator=(const UnusedDownloadsRemoval&) = delete;

  void Remove() {
    for (const std::string& sentence : e_.KeptPartialDownloads.DiscardUnused()) e_.View.ReportRefusedName(sentence);
  }

 private:
  UpdateEngine& e_;
};

}  // namespace

void Button1Click(UpdateEngine& e) {
  if (!e.IsConnected) return;
  SetUpdateArmed(e, false);
  e.View.ShowProgressBar();
  e.View.ShowStatusLine();
  if (!e.PendingList) return;
  // Thousands of new files in one folder: each name is matched against a
  // listing read once, not against the folder read anew.
  const platform::FolderListingScope listings;
  UnusedDownloadsRemoval unused_downloads(e);
  for (const std::string& sentence : SweepTemporaryFiles(e.ExeDir, e.KeptPartialDownloads))
    e.View.ReportRefusedName(sentence);
  const int n = static_cast<int>(e.PendingList->size());
  const RunBytesScope run_bytes(e);
  DownloadsAhead ahead(e);
  for (int i = 0; i < n; ++i) {
    platform::ProcessMessages();
    // Closing the window in between releases the lists (after saving them).
    if (!e.PendingList) return;
    ahead.Reach(i);
    const std::string line = (*e.PendingList)[i];
    if (ProcessEntry(e, line, false) == EntryOutcome::kStopped) return;
    MarkFirstPendingDone(e);
    e.View.SetStatusText(FilesRemainText(static_cast<int>(e.PendingNames.size()), e.LangLetter));
    if (i == n - 1) {
      e.View.SetStatusText(SelectText(kFilesUpdated, e.LangLetter));
      ShowStartGame(e);
    }
  }
  unused_downloads.Remove();
  SaveRecord(e);
}

void SaveRecord(UpdateEngine& e) {
  if (!e.RecordList) return;
  // A fetch ahead still running could create a file its journal line
  // would no longer name once the flush below rewrites the journal.
  if (e.Connection) e.Connection->DropPlans();
  for (const std::string& sentence : FlushInstalledFiles(e.ExeDir)) e.View.ReportRefusedName(sentence);
  SaveListFile(platform::ResolveGameFileName(e.ExeDir, "update2.dat"), *e.RecordList);
}

void FtpClient1PacketRecvd(UpdateEngine& e) {
  if (!e.ShowProgress || !e.Connection) return;
  const int64_t received = e.Connection->BytesReceived();
  const int64_t total = e.Connection->BytesTotal();
  e.View.SetProgress(GaugeUnits(received, total));
  std::string text = std::to_string(received) + " of " + std::to_string(total);
  // The entry in progress is the first pending name (none during the file check).
  if (!e.CheckMode && !e.PendingNames.empty()) text = e.PendingNames.front() + " " + text;
  e.View.SetProgressText(text);
}

std::string GameCommandLine(const RFtpConfigType& config) {
  return config.GameExeFile.empty() ? "Quelmar.exe kvx" : config.GameExeFile;
}

void Image3Click(UpdateEngine& e) {
  if (e.ForcedUpdateActive) return;
  e.View.HideMainWindow();
  // The game runs on its own; nothing waits for it.
  const std::string command_line = GameCommandLine(e.FtpConfig);
  const unsigned result = platform::WinExec(e.ExeDir, command_line, 1);
  if (result <= 31) {
    e.View.ShowMainWindow();
    throw Exception("Cannot start the game \"" + e.ExeDir + command_line +
                    "\": " + platform::WinExecFailureText(result));
  }
  e.View.CloseMainWindow();
}
