// What the update engine and the file check see of the main window: the
// shared state set at start-up, the flags that guard re-entry, the controls
// they write to, and the lists of the comparison. The main window (TForm1)
// derives from this and fills the control pointers when it creates its
// controls; the engine never sees the rest of the window.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLabel;
class TGauge;
class TListBox;
class TButton;
class TImage;
class TStatusBar;
class TGzip;
class TFtpClient;

// The three settings of "FtpConfig.ini"; empty means "use the built-in default".
struct RFtpConfigType {
  std::string HomePageUrl;
  std::string AccountUrl;
  std::string GameExeFile;
};

// Lines of a list file held in memory (line 0 is the header where a list has one).
using LineList = std::vector<std::string>;

// What the server dialog (Form2) leaves for the update check, read when the
// check starts.
struct ServerChoice {
  int ItemIndex = -1;    // selected entry of the dialog's list, -1 when none
  int Count = 0;         // entries of that list: the servers, then "Other"
  LineList ServerLines;  // the lines of "isp0.dat" as the dialog read them
};

// How the one-time update check ended.
enum class CheckOutcome {
  kUpdatesReady,  // files to update; Button1 enabled
  kUpToDate,      // nothing to update; Image3 shown
  kNoServer,      // no server usable; reported in Label3 and a box
  kAborted,       // the exit was confirmed during the connection attempts
  kFailed,        // an error stopped the check (raised on to the error box)
};

class UpdateWindow {
 public:
  virtual ~UpdateWindow() = default;

  // Folder of the updater's executable, a real path ending in '/'. Every
  // file name the engine uses is this folder plus a Windows-style relative
  // name, resolved by platform::ResolveGameFileName.
  std::string ExeDir;
  char LangLetter = 'n';  // 't', 's' or 'n'
  RFtpConfigType FtpConfig;

  bool StartPending = false;
  bool ShowPending = false;
  bool ExitRequested = false;
  bool IsConnected = false;
  bool ShowProgress = false;
  bool ForcedUpdateActive = false;
  bool CheckMode = false;

  // Controls owned by the window (never null once the window is created).
  TLabel* Label3 = nullptr;      // status text, centred over Gauge1
  TLabel* Label4 = nullptr;      // byte counter, centred over Gauge1
  TGauge* Gauge1 = nullptr;      // progress bar
  TListBox* ListBox1 = nullptr;  // local names still pending
  TListBox* ListBox2 = nullptr;  // local names processed in this run
  TListBox* ListBox3 = nullptr;  // names of the server listing
  TButton* Button1 = nullptr;    // the update run; acts only while enabled
  TImage* Image3 = nullptr;      // start-game button, shown at the end
  TStatusBar* StatusBar1 = nullptr;  // hidden status line; null once destroyed
  TGzip* Gzip = nullptr;         // the window's one unpacker

  // The current FTP client; released and created anew before every attempt.
  // (shared_ptr so this header needs no complete TFtpClient; it has one owner.)
  std::shared_ptr<TFtpClient> FtpClient;

  // Created by the comparison, released (after saving RecordList) at close.
  std::optional<LineList> ServerList;
  std::optional<LineList> RecordList;
  std::optional<LineList> PendingList;

  // Closes the main window as the user would: FormClose saves the record
  // and ends the process at once while IsConnected. May not return.
  virtual void CloseMainWindow() = 0;
  // Hides the main window (before the game starts).
  virtual void HideMainWindow() = 0;
  // The server dialog's selection, entry count and server lines.
  virtual ServerChoice ReadServerChoice() const = 0;

  // Called after every text change of Label3 (the status line) and of
  // Label4 (the byte counter) made through SetStatusText and
  // SetProgressText; updater-cli prints them. Empty = nobody listens.
  std::function<void(const std::string& bytes)> OnStatusText;
  std::function<void(const std::string& bytes)> OnProgressText;

  // Called once at the end of every update check that ran, with how it
  // ended (updater-cli waits for it). Empty = nobody listens.
  std::function<void(CheckOutcome)> OnCheckEnded;

  // Called with a sentence about data from the server that was refused: an
  // update3.dat entry whose name would leave the game folder, a download
  // that ran past its listed size, or a bundle member passed over (unsafe
  // name, range outside the data, file that cannot be written); also about
  // a temporary file of the update that could not be removed. Empty = not
  // reported; updater-cli prints it on stderr.
  std::function<void(const std::string& sentence)> OnRefusedName;

  // Called when an entry was passed over for what the server sent (its
  // download ran past the listed size): the entry stays unrecorded, and
  // the run, which goes on, did not install everything. Empty = nobody
  // listens; updater-cli then ends with exit status 3.
  std::function<void()> OnEntryFailed;
};
