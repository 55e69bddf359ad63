#include "update/update_run.h"

#include <algorithm>
#include <chrono>
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
#include "update/record_saving.h"
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

// The update run between its set-up and its end, in a scope that marks it as running.
class UpdateRun {
 public:
  explicit UpdateRun(UpdateEngine& e)
      : e_(e),
        saves_(ReadRecordSavePolicy(e.ExeDir), NowMs(), ConnectionBytesReceived(e)),
        ahead_(e) {
    e_.UpdateRunning = true;
    e_.StopRequested = false;
  }
  ~UpdateRun() { e_.UpdateRunning = false; }
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  // Installs the entries in order. False when the run ended without
  // reaching its end normally (the window closed, an in-use stop, a stop
  // asked for); throws what an entry raised.
  bool InstallAll() {
    const int n = static_cast<int>(e_.PendingList->size());
    for (int i = 0; i < n; ++i) {
      platform::ProcessMessages();
      // Closing the window in between releases the lists (after saving them).
      if (!e_.PendingList) return false;
      if (e_.StopRequested) return Stopped();
      ahead_.Reach(i);
      const std::string line = (*e_.PendingList)[i];
      EntryOutcome outcome;
      try {
        outcome = ProcessEntry(e_, line, false);
      } catch (const std::exception&) {
        // The download the stop cancelled: its partial file stays noted,
        // and the next run continues it.
        if (!e_.StopRequested || !e_.PendingList) throw;
        return Stopped();
      }
      if (outcome == EntryOutcome::kStopped) return false;
      saves_.EntryDone();
      MarkFirstPendingDone(e_);
      e_.View.SetStatusText(FilesRemainText(static_cast<int>(e_.PendingNames.size()), e_.LangLetter));
      if (i == n - 1) {
        e_.View.SetStatusText(SelectText(kFilesUpdated, e_.LangLetter));
        ShowStartGame(e_);
      } else if (saves_.Due(NowMs(), ConnectionBytesReceived(e_))) {
        SaveOnTheWay();
      }
    }
    return true;
  }

 private:
  static int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  // Saves the record in the middle of the run without stopping the
  // fetches ahead, which SaveRecord would drop. Their ahead files are
  // noted in the journal before they are created, on a helper's time: a
  // flush that dropped the note of one not created yet (as it drops what
  // is gone) would leave it to no sweep if the run were killed after its
  // creation. So the flush keeps the notes of the ahead files of lines not
  // reached yet, which the final flush (after DropPlans) removes.
  void SaveOnTheWay() {
    if (!e_.RecordList) return;
    const StillToCome still_to_come = [this](const std::string& name) { return ahead_.MayStillCreate(name); };
    for (const std::string& sentence : FlushInstalledFiles(e_.ExeDir, still_to_come))
      e_.View.ReportRefusedName(sentence);
    SaveListFile(platform::ResolveGameFileName(e_.ExeDir, "update2.dat"), *e_.RecordList);
    saves_.Saved(NowMs(), ConnectionBytesReceived(e_));
  }

  // The end of a stopped run: the record saved, and the partials that the
  // sweep kept for entries not reached kept for the next run.
  bool Stopped() {
    e_.KeptPartialDownloads = KeptDownloads{};
    SaveRecord(e_);
    return false;
  }

  UpdateEngine& e_;
  RecordSaveSchedule saves_;
  DownloadsAhead ahead_;
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
  const RunBytesScope run_bytes(e);
  UpdateRun run(e);
  if (!run.InstallAll()) return;
  unused_downloads.Remove();
  SaveRecord(e);
}

bool RequestRunStop(UpdateEngine& e) {
  if (!e.UpdateRunning) return false;
  e.StopRequested = true;
  if (e.Connection) e.Connection->Cancel();
  return true;
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
