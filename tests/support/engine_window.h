// The update engine for its tests: the engine's state in a fresh game
// folder, shown on a view that records what it is told instead of drawing.
// The connection is the real FTP transport unless a test passes a factory
// (see support/fake_transport.h). Boxes are recorded and answered from
// box_answers (No when empty); closing, hiding and the dialog's choice are
// recorded or scripted.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ftp/ftp_transport.h"
#include "gzip/gzip.h"
#include "support/temp_folder.h"
#include "update/update_engine.h"
#include "update/update_view.h"

namespace test_support {

// What the engine showed, as plain values.
class RecordingView : public UpdateView {
 public:
  struct Box {
    std::string text;
    bool question = false;
    BoxIcon icon = BoxIcon::kNone;
  };

  void SetStatusText(const std::string& text) override {
    status_text = text;
    status_texts.push_back(text);
  }
  void SetStatusTextUncentred(const std::string& text) override { status_text = text; }
  void ShowStatusLine() override { status_shown = true; }
  void SetProgressText(const std::string& text) override {
    progress_text = text;
    progress_texts.push_back(text);
  }
  void ShowProgressBar() override { gauge_shown = true; }
  void SetProgressMax(int max) override { gauge_max = max; }
  void SetProgress(int position) override { gauge_position = position; }
  void SetConnectionStatus(const std::string& text) override { connection_status = text; }
  void PendingNameAdded(const std::string& name) override { pending.push_back(name); }
  void PendingNameDone() override {
    processed.push_back(pending.front());
    pending.erase(pending.begin());
  }
  void PendingNamesCleared() override { pending.clear(); }
  void ListingNameAdded(const std::string& name) override { listing.push_back(name); }
  void ListingCleared() override { listing.clear(); }
  void SetUpdateArmed(bool armed) override { update_armed = armed; }
  void ShowStartGame() override { start_game_shown = true; }
  void ShowBox(const std::string& text, BoxIcon icon) override { boxes.push_back({text, false, icon}); }
  bool AskYesNo(const std::string& text) override {
    boxes.push_back({text, true, BoxIcon::kNone});
    if (box_answers.empty()) return false;
    const bool yes = box_answers.front();
    box_answers.pop_front();
    return yes;
  }
  void CloseMainWindow() override { ++closes; }
  void HideMainWindow() override { ++hides; }
  void ShowMainWindow() override { ++shows; }
  ServerChoice ReadServerChoice() const override { return choice; }
  void ReportRefusedName(const std::string& sentence) override { refused.push_back(sentence); }
  void ReportUnusableServer(const std::string& sentence) override { unusable.push_back(sentence); }
  void EntryFailed() override { ++entries_failed; }
  void CheckEnded(CheckOutcome outcome) override { outcomes.push_back(outcome); }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const Box& box : boxes) texts.push_back(box.text);
    return texts;
  }

  std::string status_text;
  std::vector<std::string> status_texts;
  bool status_shown = false;
  std::string progress_text = "0% ";
  std::vector<std::string> progress_texts;
  bool gauge_shown = true;
  int gauge_max = 100;
  int gauge_position = 0;
  std::string connection_status;
  std::vector<std::string> pending;    // mirror of PendingNames
  std::vector<std::string> processed;  // mirror of ProcessedNames
  std::vector<std::string> listing;    // mirror of ListingNames
  bool update_armed = true;
  bool start_game_shown = false;
  std::vector<Box> boxes;
  std::deque<bool> box_answers;
  ServerChoice choice;
  int closes = 0;
  int hides = 0;
  int shows = 0;
  std::vector<std::string> refused;
  std::vector<std::string> unusable;  // ReportUnusableServer's sentences
  std::vector<CheckOutcome> outcomes;
  int entries_failed = 0;
};

// The engine on a recording view, in a fresh game folder (ExeDir). The
// unpacker is set up as the main window sets up its own.
class EngineTestWindow : public RecordingView, public UpdateEngine {
 public:
  explicit EngineTestWindow(TransportFactory transports = FtpTransportFactory())
      : EngineTestWindow(TransportRegistry{{std::string(kPlainServerScheme), std::move(transports)}}) {}
  explicit EngineTestWindow(TransportRegistry transports)
      : UpdateEngine(static_cast<RecordingView&>(*this), gzip, std::move(transports)) {
    ExeDir = folder.path();
    gzip.DeleteSource = true;
    gzip.WindowOnError = true;
    gzip.OnErrorBox = [this](const std::string& text, const std::string&) {
      boxes.push_back({text, false, BoxIcon::kNone});
    };
  }
  ~EngineTestWindow() override { Connection.reset(); }

  TempFolder folder;  // the game folder, ExeDir
  TGzip gzip;
};

}  // namespace test_support
