#include "update/update_driver.h"

#include <optional>

#include "app/texts/texts.h"
#include "ftp/ftp_client.h"
#include "platform/errors.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "update/ftp_events.h"
#include "update/list_file.h"
#include "update/network_settings.h"
#include "update/pending_list.h"
#include "update/status_display.h"
#include "vcl/gauge.h"
#include "vcl/image.h"
#include "vcl/label.h"
#include "vcl/list_box.h"
#include "vcl/std_controls.h"

namespace {

// TimeOut once logged in. The server line's TimeOut is meant for
// connecting; as a bound on a whole wait it would cut long transfers
// short. The client's StallTime bounds silence instead.
constexpr int kSessionTimeOut = 0;

const std::string& LineAt(const LineList& lines, int index) {
  if (index < 0 || index >= static_cast<int>(lines.size()))
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return lines[index];
}

std::string GamePath(const UpdateWindow& w, const std::string& name) {
  return platform::ResolveGameFileName(w.ExeDir, name);
}

// Replaces the FTP client with a fresh one whose events go to the window
// and whose transfers follow [NETWORK] of FtpConfig.ini. The released
// client's connection is gone with it, so the flag is cleared.
TFtpClient& NewFtpClient(UpdateWindow& w) {
  w.FtpClient.reset();
  w.IsConnected = false;
  platform::ProcessMessages();
  w.FtpClient = std::make_shared<TFtpClient>();
  AttachFtpClientEvents(w, *w.FtpClient);
  const NetworkSettings network = ReadNetworkSettings(w.ExeDir);
  w.FtpClient->StallTime = network.StallTimeMs;
  w.FtpClient->Passive = network.Passive;
  return *w.FtpClient;
}

enum class AttemptResult { kConnected, kFailed, kExitRequested };

// One connection attempt to server line `index` of `order`.
AttemptResult Attempt(UpdateWindow& w, const LineList& order, int index, const std::string& password) {
  TFtpClient& client = NewFtpClient(w);
  const std::string& line = LineAt(order, index);
  w.Label3->Show();
  w.StatusBar1->SetSimpleText("Connected Server" + std::to_string(index));
  client.Host = LineField(line, 2);
  client.Port = platform::StrToInt(LineField(line, 3));
  client.TimeOut = platform::StrToInt(LineField(line, 4));
  client.UserID = LineField(line, 5);
  client.Password = password;
  if (w.ExitRequested) return AttemptResult::kExitRequested;
  try {
    client.Connect();
  } catch (const Exception&) {
    // A refused or failed login shows only in IsConnected.
  }
  return w.IsConnected ? AttemptResult::kConnected : AttemptResult::kFailed;
}

// The main attempts. Returns the position of the server that accepted the
// login, -1 when none did, or nullopt when the exit was confirmed.
std::optional<int> RunMainAttempts(UpdateWindow& w, const LineList& order) {
  for (int i = 0;; ++i) {
    SetStatusText(w, ConnectingText(i + 1, w.LangLetter));
    switch (Attempt(w, order, i, "")) {
      case AttemptResult::kExitRequested:
        return std::nullopt;
      case AttemptResult::kConnected:
        return i;
      case AttemptResult::kFailed:
        if (LineAt(order, i + 1) == "end") return -1;
    }
  }
}

void ListServerFolder(UpdateWindow& w) {
  try {
    w.FtpClient->Nlist();
  } catch (const Exception&) {
    // An empty or failed listing is judged by what it lacks.
  }
}

bool ListsServerFile(const UpdateWindow& w, const std::string& name) {
  return IsListedOnServer(w.ListBox3->Items.Lines(), name);
}

CheckOutcome ReportNoServer(UpdateWindow& w) {
  const std::string text = SelectText(kDisconnected, w.LangLetter);
  SetStatusText(w, text);
  ShowInformationBox(text);
  return CheckOutcome::kNoServer;
}

CheckOutcome RunCheck(UpdateWindow& w, const RandomSource& random) {
  LineList order = BuildServerOrder(w.ReadServerChoice(), LoadListFile(GamePath(w, "isp0.dat")),
                                    random ? random : ClockSeededRandom());
  const std::optional<int> connected = RunMainAttempts(w, order);
  if (!connected) return CheckOutcome::kAborted;
  if (!w.IsConnected) return ReportNoServer(w);

  w.FtpClient->TimeOut = kSessionTimeOut;
  ListServerFolder(w);
  if (!ListsServerFile(w, "update3.dat")) {
    ConnectNextServer(w, order, *connected);
    w.ListBox3->Items.Clear();
    ListServerFolder(w);
    if (!ListsServerFile(w, "update3.dat")) {
      w.IsConnected = false;
      return ReportNoServer(w);
    }
    w.IsConnected = true;
    w.FtpClient->TimeOut = kSessionTimeOut;
  }
  order.clear();

  w.FtpClient->Download("update3.dat", GamePath(w, "update3.dat"));
  if (ListsServerFile(w, "bulletin.htm"))
    w.FtpClient->Download("bulletin.htm", GamePath(w, "bulletin.htm"));

  w.ShowProgress = true;
  w.Gauge1->SetProgress(0);
  SetProgressText(w, "0%");
  const std::string record_path = GamePath(w, "update2.dat");
  if (!platform::FileExists(record_path)) SaveListFile(record_path, {kRecordHeader});
  BuildPendingList(w);

  const int n = w.ListBox1->Items.Count();
  SetStatusText(w, FilesRemainText(n, w.LangLetter));
  if (n > 0) {
    w.Button1->SetEnabled(true);
    return CheckOutcome::kUpdatesReady;
  }
  w.Button1->SetEnabled(false);
  w.Label3->Show();
  SetStatusText(w, SelectText(kNothingToUpdate, w.LangLetter));
  w.Image3->Show();
  return CheckOutcome::kUpToDate;
}

}  // namespace

void Timer1Timer(UpdateWindow& w) {
  if (w.ShowPending) FormResize(w);
}

void FormResize(UpdateWindow& w, const RandomSource& random) {
  w.ShowPending = false;
  if (!w.StartPending) return;
  w.StartPending = false;
  CheckOutcome outcome = CheckOutcome::kFailed;
  try {
    outcome = RunCheck(w, random);
  } catch (...) {
    if (w.OnCheckEnded) w.OnCheckEnded(CheckOutcome::kFailed);
    throw;
  }
  if (w.OnCheckEnded) w.OnCheckEnded(outcome);
}

void ConnectNextServer(UpdateWindow& w, const LineList& order, int index) {
  for (int i = index + 1; LineAt(order, i) != "end"; ++i) {
    if (Attempt(w, order, i, " ") != AttemptResult::kFailed) return;
  }
}

void BuildPendingList(UpdateWindow& w) {
  LineList server = LoadListFile(GamePath(w, "update3.dat"));
  LineList record = LoadListFile(GamePath(w, "update2.dat"));
  PrepareRecordList(record);
  PendingEntries entries = ComparePendingEntries(server, record);
  w.ServerList = std::move(server);
  w.RecordList = std::move(record);
  w.PendingList = std::move(entries.pending);
  for (const std::string& name : entries.names) w.ListBox1->Items.Add(name);
}
