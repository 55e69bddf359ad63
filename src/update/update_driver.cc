#include "update/update_driver.h"

#include <optional>

#include "lists/list_file.h"
#include "lists/pending_list.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "texts/texts.h"

namespace {

const std::string& LineAt(const LineList& lines, int index) {
  if (index < 0 || index >= static_cast<int>(lines.size()))
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return lines[index];
}

std::string GamePath(const UpdateEngine& e, const std::string& name) {
  return platform::ResolveGameFileName(e.ExeDir, name);
}

enum class AttemptResult { kConnected, kFailed, kExitRequested };

// One connection attempt to server line `index` of `order`.
AttemptResult Attempt(UpdateEngine& e, const LineList& order, int index, const std::string& password) {
  Transport& connection = e.NewConnection();
  const std::string& line = LineAt(order, index);
  e.View.ShowStatusLine();
  e.View.SetConnectionStatus("Connected Server" + std::to_string(index));
  ServerLogin login;
  login.host = LineField(line, 2);
  login.port = platform::StrToInt(LineField(line, 3));
  login.timeout_ms = platform::StrToInt(LineField(line, 4));
  login.user = LineField(line, 5);
  login.password = password;
  if (e.ExitRequested) return AttemptResult::kExitRequested;
  try {
    connection.Connect(login);
  } catch (const Exception&) {
    // A refused or failed login shows only in IsConnected.
  }
  return e.IsConnected ? AttemptResult::kConnected : AttemptResult::kFailed;
}

// The main attempts. Returns the position of the server that accepted the
// login, -1 when none did, or nullopt when the exit was confirmed.
std::optional<int> RunMainAttempts(UpdateEngine& e, const LineList& order) {
  for (int i = 0;; ++i) {
    e.View.SetStatusText(ConnectingText(i + 1, e.LangLetter));
    switch (Attempt(e, order, i, "")) {
      case AttemptResult::kExitRequested:
        return std::nullopt;
      case AttemptResult::kConnected:
        return i;
      case AttemptResult::kFailed:
        if (LineAt(order, i + 1) == "end") return -1;
    }
  }
}

void ListServerFolder(UpdateEngine& e) {
  try {
    e.Connection->ListNames();
  } catch (const Exception&) {
    // An empty or failed listing is judged by what it lacks.
  }
}

bool ListsServerFile(const UpdateEngine& e, const std::string& name) {
  return IsListedOnServer(e.ListingNames, name);
}

CheckOutcome ReportNoServer(UpdateEngine& e) {
  const std::string text = SelectText(kDisconnected, e.LangLetter);
  e.View.SetStatusText(text);
  e.View.ShowBox(text, BoxIcon::kInformation);
  return CheckOutcome::kNoServer;
}

CheckOutcome RunCheck(UpdateEngine& e, const RandomSource& random) {
  LineList order = BuildServerOrder(e.View.ReadServerChoice(), LoadListFile(GamePath(e, "isp0.dat")),
                                    random ? random : ClockSeededRandom());
  const std::optional<int> connected = RunMainAttempts(e, order);
  if (!connected) return CheckOutcome::kAborted;
  if (!e.IsConnected) return ReportNoServer(e);

  e.Connection->StartSession();
  ListServerFolder(e);
  if (!ListsServerFile(e, "update3.dat")) {
    ConnectNextServer(e, order, *connected);
    ClearListing(e);
    ListServerFolder(e);
    if (!ListsServerFile(e, "update3.dat")) {
      e.IsConnected = false;
      return ReportNoServer(e);
    }
    e.IsConnected = true;
    e.Connection->StartSession();
  }
  order.clear();

  e.Connection->Download("update3.dat", GamePath(e, "update3.dat"), -1);
  if (ListsServerFile(e, "bulletin.htm"))
    e.Connection->Download("bulletin.htm", GamePath(e, "bulletin.htm"), -1);

  e.ShowProgress = true;
  e.View.SetProgress(0);
  e.View.SetProgressText("0%");
  const std::string record_path = GamePath(e, "update2.dat");
  if (!platform::FileExists(record_path)) SaveListFile(record_path, {kRecordHeader});
  BuildPendingList(e);

  const int n = static_cast<int>(e.PendingNames.size());
  e.View.SetStatusText(FilesRemainText(n, e.LangLetter));
  if (n > 0) {
    SetUpdateArmed(e, true);
    return CheckOutcome::kUpdatesReady;
  }
  SetUpdateArmed(e, false);
  e.View.ShowStatusLine();
  e.View.SetStatusText(SelectText(kNothingToUpdate, e.LangLetter));
  ShowStartGame(e);
  return CheckOutcome::kUpToDate;
}

}  // namespace

void Timer1Timer(UpdateEngine& e) {
  if (e.ShowPending) FormResize(e);
}

void FormResize(UpdateEngine& e, const RandomSource& random) {
  e.ShowPending = false;
  if (!e.StartPending) return;
  e.StartPending = false;
  CheckOutcome outcome = CheckOutcome::kFailed;
  try {
    outcome = RunCheck(e, random);
  } catch (...) {
    // Tells the view the check ended, then rethrows to the error box.
    e.View.CheckEnded(CheckOutcome::kFailed);
    throw;
  }
  e.View.CheckEnded(outcome);
}

void ConnectNextServer(UpdateEngine& e, const LineList& order, int index) {
  for (int i = index + 1; LineAt(order, i) != "end"; ++i) {
    if (Attempt(e, order, i, " ") != AttemptResult::kFailed) return;
  }
}

void BuildPendingList(UpdateEngine& e) {
  LineList server = LoadListFile(GamePath(e, "update3.dat"));
  LineList record = LoadListFile(GamePath(e, "update2.dat"));
  PrepareRecordList(record);
  PendingEntries entries = ComparePendingEntries(server, record);
  e.ServerList = std::move(server);
  e.RecordList = std::move(record);
  e.PendingList = std::move(entries.pending);
  for (const std::string& name : entries.names) AddPendingName(e, name);
}
