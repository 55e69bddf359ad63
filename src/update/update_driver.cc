#include "update/update_driver.h"

#include <optional>
#include <string>
#include <vector>

#include "lists/list_file.h"
#include "lists/pending_list.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "texts/texts.h"
#include "update/install_journal.h"
#include "update/login_failure.h"
#include "update/server_line.h"
#include "update/signed_set.h"

namespace {

// What a server whose listing lacks the server list was.
constexpr const char* kNoServerList = "no update3.dat";

const std::string& LineAt(const LineList& lines, int index) {
  if (index < 0 || index >= static_cast<int>(lines.size()))
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return lines[index];
}

std::string GamePath(const UpdateEngine& e, const std::string& name) {
  return platform::ResolveGameFileName(e.ExeDir, name);
}

enum class AttemptResult { kConnected, kFailed, kExitRequested };

// How server line `index` of `order` is named in the sentences about servers tried.
std::string ServerName(const LineList& order, int index) { return ServerLineName(LineAt(order, index)); }

// One connection attempt to server line `index` of `order`; a failed one
// adds its server and why to `unusable`. A line whose scheme no transport
// serves fails as a refused login does.
AttemptResult Attempt(UpdateEngine& e, const LineList& order, int index, const std::string& password,
                      UnusableServers& unusable) {
  const std::string& line = LineAt(order, index);
  const std::string scheme = ServerLineScheme(line);
  Transport* const connection = e.NewConnection(scheme);
  e.View.ShowStatusLine();
  e.View.SetConnectionStatus("Connected Server" + std::to_string(index));
  const ServerLogin login = ServerLineLogin(line, password);
  if (e.ExitRequested) return AttemptResult::kExitRequested;
  if (connection == nullptr) {
    unusable.push_back(ServerName(order, index) + ": " + TransportRegistry::UnservedText(scheme));
    return AttemptResult::kFailed;
  }
  std::string error;
  try {
    connection->Connect(login);
  } catch (const Exception& failure) {
    // A refused or failed login shows only in IsConnected.
    error = failure.what();
  }
  if (e.IsConnected) return AttemptResult::kConnected;
  unusable.push_back(ServerName(order, index) + ": " + DescribeFailedLogin(e.Login, error, login.timeout_ms));
  return AttemptResult::kFailed;
}

// The main attempts. Returns the position of the server that accepted the
// login, -1 when none did, or nullopt when the exit was confirmed.
std::optional<int> RunMainAttempts(UpdateEngine& e, const LineList& order, UnusableServers& unusable) {
  for (int i = 0;; ++i) {
    e.View.SetStatusText(ConnectingText(i + 1, e.LangLetter));
    switch (Attempt(e, order, i, "", unusable)) {
      case AttemptResult::kExitRequested:
        return std::nullopt;
      case AttemptResult::kConnected:
        return i;
      case AttemptResult::kFailed:
        if (LineAt(order, i + 1) == "end") return -1;
    }
  }
}

// Lists the server folder, when the transport can: without a listing the
// check asks for its files directly (FetchServerFile).
void ListServerFolder(UpdateEngine& e) {
  if (!e.Connection || !e.Connection->HasNameListing()) return;
  try {
    e.Connection->ListNames();
  } catch (const Exception&) {
    // An empty or failed listing is judged by what it lacks.
  }
}

// Whether the current server may hold `name`: listed, or, over a
// transport without a listing, not known until asked for.
bool ListsServerFile(const UpdateEngine& e, const std::string& name) {
  if (e.Connection && !e.Connection->HasNameListing()) return true;
  return IsListedOnServer(e.ListingNames, name);
}

// Fetches `remote` into `local`; true when it arrived. Over a transport
// without a listing the file may not be there: false when the server
// refused it (local is left as it was). Any other failure throws, and
// ends the check as a failed download does.
bool FetchServerFile(UpdateEngine& e, const std::string& remote, const std::string& local) {
  const std::shared_ptr<Transport> connection = e.Connection;
  if (connection->HasNameListing()) {
    connection->Download(remote, local, -1, {}, false);
    return true;
  }
  try {
    connection->Download(remote, local, -1, {}, false);
  } catch (const EDownloadError& failure) {  // only a refusal says the file is not there
    if (failure.Failure() != DownloadFailure::kRefused) throw;
    return false;
  }
  return true;
}

// Whether the current server holds the unsigned check's "update3.dat": by
// its listing, or, without one, by fetching it into place, which then
// sets `fetched`.
bool HoldsServerList(UpdateEngine& e, bool& fetched) {
  if (!e.Connection || !e.IsConnected) return false;  // the fallback found no server
  if (e.Connection->HasNameListing()) return ListsServerFile(e, "update3.dat");
  fetched = FetchServerFile(e, "update3.dat", GamePath(e, "update3.dat"));
  return fetched;
}

void ReportUnusable(UpdateEngine& e, const UnusableServers& unusable) {
  for (const std::string& sentence : unusable) e.View.ReportUnusableServer(sentence);
}

CheckOutcome ReportNoServer(UpdateEngine& e, const UnusableServers& unusable) {
  ReportUnusable(e, unusable);
  const std::string text = SelectText(kDisconnected, e.LangLetter);
  e.View.SetStatusText(text);
  e.View.ShowBox(text, BoxIcon::kInformation);
  return CheckOutcome::kNoServer;
}

// Temporary files of the check, removed when it leaves them behind (also
// when a download throws); those renamed into place are gone already.
class CheckTemporaries {
 public:
  explicit CheckTemporaries(UpdateEngine& e) : e_(e) {}
  ~CheckTemporaries() {
    for (const std::string& path : paths_) {
      try {
        if (std::string sentence = DiscardTemporaryFile(path); !sentence.empty()) e_.View.ReportRefusedName(sentence);
      } catch (...) {
        // A view that throws while unwinding: the file stays noted in the
        // journal, and the next run removes it.
      }
    }
  }
  CheckTemporaries(const CheckTemporaries&) = delete;
  CheckTemporaries& operator=(const CheckTemporaries&) = delete;

  // Notes and returns the partial file of the game file `name`.
  std::string Begin(const std::string& name) {
    return paths_.emplace_back(BeginPartialFile(e_.ExeDir, GamePath(e_, name)));
  }

 private:
  UpdateEngine& e_;
  std::vector<std::string> paths_;
};

void PutInPlace(UpdateEngine& e, const std::string& partial, const std::string& name) {
  const std::string destination = GamePath(e, name);
  if (const int error = platform::ReplaceFile(partial, destination); error != 0)
    throw EFOpenError("Cannot create file " + destination + ": " + platform::ErrorText(error));
}

// Fetches "update3.dat" and its signature from the current server and
// installs the list when the signature holds. Returns "" then, else why
// the set was refused (nothing of it is kept); nullopt when the server,
// asked without a listing, has no "update3.dat".
std::optional<std::string> FetchSignedList(UpdateEngine& e, const trust::PublicKey& key) {
  const std::string missing = std::string("there is no signature (update3.dat") + kSignatureSuffix + " is missing)";
  if (!ListsServerFile(e, std::string("update3.dat") + kSignatureSuffix)) return missing;
  CheckTemporaries temporaries(e);
  const std::string list = temporaries.Begin("update3.dat");
  const std::string signature = temporaries.Begin(std::string("update3.dat") + kSignatureSuffix);
  if (!FetchServerFile(e, "update3.dat", list)) return std::nullopt;
  if (!FetchServerFile(e, std::string("update3.dat") + kSignatureSuffix, signature)) return missing;
  const SetVerdict verdict = JudgeSignedSet(key, platform::ReadWholeFile(list), platform::ReadWholeFile(signature),
                                            ReadAcceptedStamp(e.ExeDir), UnixTimeNow());
  if (!verdict.accepted) return verdict.problem;
  PutInPlace(e, list, "update3.dat");
  WriteAcceptedStamp(e.ExeDir, verdict.timestamp);
  return "";
}

// With "update.pub": takes the first server in the order, from the one at
// `connected` on, whose list is signed well. Returns false when no server
// lists "update3.dat" at all; throws Exception naming each refused set
// when every list found was refused.
bool FetchSignedSet(UpdateEngine& e, const LineList& order, int connected, const trust::PublicKey& key,
                    UnusableServers& unusable) {
  std::string refusals;
  for (int at = connected;;) {
    const std::optional<std::string> problem =
        ListsServerFile(e, "update3.dat") ? FetchSignedList(e, key) : std::nullopt;
    if (!problem) {
      unusable.push_back(ServerName(order, at) + ": " + kNoServerList);
    } else if (problem->empty()) {
      return true;
    } else {
      refusals += "\nupdate3.dat from " + ServerName(order, at) + ": " + *problem;
      unusable.push_back(ServerName(order, at) + ": update3.dat refused: " + *problem);
    }
    at = ConnectNextServer(e, order, at, unusable);
    if (at < 0) break;
    e.Connection->StartSession();
    ClearListing(e);
    ListServerFolder(e);
  }
  e.IsConnected = false;
  if (refusals.empty()) return false;
  ReportUnusable(e, unusable);
  throw Exception("No server offers an update set signed by " + std::string(kGameKeyName) + ":" + refusals);
}

// With "update.pub": the bulletin replaces the one shown only when its
// signature holds; a refused one is named through the view.
void FetchSignedBulletin(UpdateEngine& e, const trust::PublicKey& key) {
  const std::string signature_name = std::string("bulletin.htm") + kSignatureSuffix;
  std::string problem = "there is no signature (" + signature_name + " is missing)";
  if (ListsServerFile(e, signature_name)) {
    CheckTemporaries temporaries(e);
    const std::string bulletin = temporaries.Begin("bulletin.htm");
    const std::string signature = temporaries.Begin(signature_name);
    if (!FetchServerFile(e, "bulletin.htm", bulletin)) return;  // asked without a listing: there is none
    if (FetchServerFile(e, signature_name, signature) &&
        SignatureMatches(key, platform::ReadWholeFile(bulletin), platform::ReadWholeFile(signature), "bulletin.htm",
                         problem)) {
      PutInPlace(e, signature, signature_name);
      PutInPlace(e, bulletin, "bulletin.htm");
      return;
    }
  }
  e.View.ReportRefusedName("bulletin.htm not shown: " + problem);
}

CheckOutcome RunCheck(UpdateEngine& e, const RandomSource& random) {
  const std::optional<trust::PublicKey> key = ReadGameKey(e.ExeDir);
  e.SignedSet = key.has_value();
  LineList order = BuildServerOrder(e.View.ReadServerChoice(), LoadListFile(GamePath(e, "isp0.dat")),
                                    random ? random : ClockSeededRandom());
  UnusableServers unusable;
  const std::optional<int> connected = RunMainAttempts(e, order, unusable);
  if (!connected) return CheckOutcome::kAborted;
  if (!e.IsConnected) return ReportNoServer(e, unusable);

  e.Connection->StartSession();
  ListServerFolder(e);
  bool list_fetched = false;  // without a listing, HoldsServerList fetched it
  if (key) {
    if (!FetchSignedSet(e, order, *connected, *key, unusable)) return ReportNoServer(e, unusable);
    e.IsConnected = true;
  } else if (!HoldsServerList(e, list_fetched)) {
    unusable.push_back(ServerName(order, *connected) + ": " + kNoServerList);
    const int next = ConnectNextServer(e, order, *connected, unusable);
    ClearListing(e);
    ListServerFolder(e);
    if (!HoldsServerList(e, list_fetched)) {
      // The fallback's login held but its listing did not help either.
      if (next >= 0) unusable.push_back(ServerName(order, next) + ": " + kNoServerList);
      e.IsConnected = false;
      return ReportNoServer(e, unusable);
    }
    e.IsConnected = true;
    e.Connection->StartSession();
  }
  order.clear();

  if (!key && !list_fetched) e.Connection->Download("update3.dat", GamePath(e, "update3.dat"), -1, {}, false);
  if (ListsServerFile(e, "bulletin.htm")) {
    if (key)
      FetchSignedBulletin(e, *key);
    else
      (void)FetchServerFile(e, "bulletin.htm", GamePath(e, "bulletin.htm"));  // false: there is none
  }

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
  // No update run follows to continue what a killed run left, so it goes
  // now; with entries pending the run's own sweep keeps what it continues.
  for (const std::string& sentence : SweepTemporaryFiles(e.ExeDir)) e.View.ReportRefusedName(sentence);
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
    // The status line says the check ended (it would go on saying it
    // connects), the view hears it, then the error box tells why.
    if (!e.ExitRequested) {
      e.View.ShowStatusLine();
      e.View.SetStatusText(SelectText(kDisconnected, e.LangLetter));
    }
    e.View.CheckEnded(CheckOutcome::kFailed);
    throw;
  }
  e.View.CheckEnded(outcome);
}

int ConnectNextServer(UpdateEngine& e, const LineList& order, int index, UnusableServers& unusable) {
  for (int i = index + 1; LineAt(order, i) != "end"; ++i) {
    switch (Attempt(e, order, i, " ", unusable)) {
      case AttemptResult::kConnected:
        return i;
      case AttemptResult::kExitRequested:
        return -1;
      case AttemptResult::kFailed:
        break;
    }
  }
  return -1;
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
