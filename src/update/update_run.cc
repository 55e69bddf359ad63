#include "update/update_run.h"

#include <algorithm>
#include <cstdint>

#include "app/texts/texts.h"
#include "ftp/ftp_client.h"
#include "platform/game_path.h"
#include "platform/process.h"
#include "update/install_journal.h"
#include "update/list_file.h"
#include "update/process_entry.h"
#include "update/status_display.h"
#include "vcl/application.h"
#include "vcl/gauge.h"
#include "vcl/image.h"
#include "vcl/label.h"
#include "vcl/list_box.h"
#include "vcl/std_controls.h"

void Button1Click(UpdateWindow& w) {
  if (!w.IsConnected) return;
  w.Button1->SetEnabled(false);
  w.Gauge1->Show();
  w.Label3->Show();
  if (!w.PendingList) return;
  for (const std::string& sentence : SweepTemporaryFiles(w.ExeDir)) ReportRefusedName(w, sentence);
  const int n = static_cast<int>(w.PendingList->size());
  for (int i = 0; i < n; ++i) {
    Application.ProcessMessages();
    // Closing the window in between releases the lists (after saving them).
    if (!w.PendingList) return;
    const std::string line = (*w.PendingList)[i];
    if (ProcessEntry(w, line, false) == EntryOutcome::kStopped) return;
    w.ListBox2->Items.Add(w.ListBox1->Items[0]);
    w.ListBox1->Items.Delete(0);
    SetStatusText(w, FilesRemainText(w.ListBox1->Items.Count(), w.LangLetter));
    if (i == n - 1) {
      SetStatusText(w, SelectText(kFilesUpdated, w.LangLetter));
      w.Image3->Show();
    }
  }
  SaveRecord(w);
}

void SaveRecord(UpdateWindow& w) {
  if (!w.RecordList) return;
  for (const std::string& sentence : FlushInstalledFiles(w.ExeDir)) ReportRefusedName(w, sentence);
  SaveListFile(platform::ResolveGameFileName(w.ExeDir, "update2.dat"), *w.RecordList);
}

void FtpClient1PacketRecvd(UpdateWindow& w) {
  if (!w.ShowProgress || !w.FtpClient) return;
  const int64_t received = w.FtpClient->BytesRecvd();
  const int64_t total = w.FtpClient->BytesTotal;
  w.Gauge1->SetProgress(static_cast<int>(std::clamp<int64_t>(received, 0, INT32_MAX)));
  std::string text = std::to_string(received) + " of " + std::to_string(total);
  // The entry in progress is the first pending name (none during the file check).
  if (!w.CheckMode && w.ListBox1->Items.Count() > 0) text = w.ListBox1->Items[0] + " " + text;
  SetProgressText(w, text);
}

std::string GameCommandLine(const RFtpConfigType& config) {
  return config.GameExeFile.empty() ? "Quelmar.exe kvx" : config.GameExeFile;
}

void Image3Click(UpdateWindow& w) {
  if (w.ForcedUpdateActive) return;
  w.HideMainWindow();
  // The game runs on its own; whether it started is not examined.
  (void)platform::WinExec(w.ExeDir, GameCommandLine(w.FtpConfig), 1);
  w.CloseMainWindow();
}
