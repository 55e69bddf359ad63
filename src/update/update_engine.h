// The update engine's own state: the settings read at start-up, the flags
// that guard re-entry, the lists of the comparison, the names it shows, and
// the connection. The main window owns one and shows it through the
// UpdateView it implements; the engine never reads anything back from the
// window. Everything here is used on the user-interface thread.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lists/list_file.h"
#include "transport/transport.h"
#include "transport/transport_registry.h"
#include "update/install_journal.h"
#include "update/login_failure.h"
#include "update/network_settings.h"
#include "update/server_line.h"
#include "update/update_view.h"

class TGzip;

// The three settings of "FtpConfig.ini"; empty means "use the built-in default".
struct RFtpConfigType {
  std::string HomePageUrl;
  std::string AccountUrl;
  std::string GameExeFile;
};

// The bytes of the update run in progress (see update/run_bytes.h), for a
// front-end that shows more than the window; the window shows none of it.
struct UpdateRunBytes {
  bool Running = false;
  int64_t Whole = 0;           // the listed sizes of the run's downloads, summed
  int64_t Listed = 0;          // what the run expects to fetch: Whole less what patches spare
  int64_t ReceivedBefore = 0;  // the connection's SessionBytesReceived() when the run began
  int64_t Received = 0;        // once the run has ended: the bytes the connection received in it
  int Patched = 0;             // files installed from chunks instead of downloaded whole
};

class UpdateEngine {
 public:
  // view and gzip outlive the engine; `transports` make the connection of
  // each login attempt, by the scheme of its server line.
  UpdateEngine(UpdateView& view, TGzip& gzip, TransportRegistry transports);
  ~UpdateEngine();
  UpdateEngine(const UpdateEngine&) = delete;
  UpdateEngine& operator=(const UpdateEngine&) = delete;

  UpdateView& View;
  TGzip& Gzip;  // the one unpacker

  // Folder of the updater's executable, a real path ending in '/'. Every
  // file name the engine uses is this folder plus a Windows-style relative
  // name, resolved by platform::ResolveGameFileName.
  std::string ExeDir;
  char LangLetter = 'n';  // 't', 's' or 'n'
  RFtpConfigType FtpConfig;

  bool StartPending = false;  // the check has not run yet
  bool ShowPending = false;   // the window has been shown
  bool ExitRequested = false;
  bool IsConnected = false;   // set and cleared by the transport's events
  bool ShowProgress = false;  // byte progress is shown
  bool ForcedUpdateActive = false;
  bool CheckMode = false;     // the file check runs
  // The update run may start (the window's design starts it armed).
  bool UpdateArmed = true;
  bool StartGameShown = false;
  // The update run is going on (Button1Click), and whether a stop of it
  // was asked for (RequestRunStop): it then ends at its next safe point.
  bool UpdateRunning = false;
  bool StopRequested = false;
  // The server list was accepted under the game's public key: every entry
  // must carry the digest of its served file.
  bool SignedSet = false;

  // Created by the comparison, released (after saving RecordList) at close.
  std::optional<LineList> ServerList;
  std::optional<LineList> RecordList;
  std::optional<LineList> PendingList;
  // Local names still pending (the count the user sees), those processed
  // in this run, and the names of the last server listing.
  std::deque<std::string> PendingNames;
  LineList ProcessedNames;
  LineList ListingNames;

  // The [NETWORK] settings the current connection was made with.
  NetworkSettings Network;

  // The current connection; replaced before every login attempt. Shared so
  // that an operation running on it keeps it alive when a handler replaces it.
  std::shared_ptr<Transport> Connection;
  // What the current connection's events told of its login.
  LoginEvents Login;

  // The partial downloads the update run's sweep kept for its entries to
  // continue; emptied when the run ends.
  KeptDownloads KeptPartialDownloads;

  // Replaces the connection with a new, unconnected one of the transport
  // that serves `scheme`; nullptr, with no connection, when none does.
  Transport* NewConnection(std::string_view scheme = kPlainServerScheme);

  // Applied over FtpConfig.ini's [NETWORK] at each NewConnection.
  NetworkOverrides NetworkOverride;
  UpdateRunBytes RunBytes;
  // The totals of the last update run that ended (Running false).
  UpdateRunBytes LastRunBytes;

 private:
  class Events;
  TransportRegistry transports_;
  std::unique_ptr<Events> events_;
};

// Name-list helpers that keep the view's mirrors in step.
void AddPendingName(UpdateEngine& e, const std::string& name);
void MarkFirstPendingDone(UpdateEngine& e);
void ClearPendingNames(UpdateEngine& e);
void AddListingName(UpdateEngine& e, const std::string& name);
void ClearListing(UpdateEngine& e);
void SetUpdateArmed(UpdateEngine& e, bool armed);
void ShowStartGame(UpdateEngine& e);
