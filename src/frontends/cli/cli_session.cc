#include "frontends/cli/cli_session.h"

#include <exception>
#include <optional>

#include "app/form1.h"
#include "app/form2.h"
#include "app/program.h"
#include "frontends/cli/cli_output.h"
#include "frontends/cli/progress_line.h"
#include "frontends/headless/headless_backend.h"
#include "platform/event_loop.h"
#include "platform/process.h"
#include "platform/stop_signals.h"
#include "update/run_bytes.h"
#include "update/verify_files.h"
#include "vcl/application.h"

namespace {

// Exit status when the updater stopped a run by itself (a file in use).
constexpr int kExitStoppedEarly = 4;
// Exit status of an argument that turned out wrong during the run.
constexpr int kExitBadArguments = 2;
// Exit status when another run held the game folder and nothing was done.
constexpr int kExitFolderTaken = 5;

// The headless backend without pixels: a skin bitmap that is missing costs
// nothing here, so it loads as an empty picture instead of stopping start-up.
class CliBackend : public HeadlessBackend {
 public:
  bool LoadBitmap(const std::string& real_path, vcl::BitmapInfo& out) override {
    if (HeadlessBackend::LoadBitmap(real_path, out)) return true;
    out = vcl::BitmapInfo{};
    return true;
  }
};

class CliSession {
 public:
  CliSession(const CliOptions& options, const std::string& exe_dir)
      : options_(options),
        exe_dir_(exe_dir),
        output_(options.raw) {
    output_.SetLanguage(GetLangLetter()[0]);
    backend_.default_box_answer = options.yes ? IDYES : 0;
    backend_.on_message_box = [this](const vcl::MessageBoxRequest& box) {
      output_.Line(box.text);
      if (box.icon == vcl::MessageIcon::kError) error_box_shown_ = true;
    };
    backend_.on_modal_shown = [this](TForm& form) {
      if (auto* dialog = dynamic_cast<TForm2*>(&form))
        platform::PostMessage([this, dialog] { ConfirmServer(*dialog); });
    };
    // The one place where the process ends inside the run: the window's
    // own ends (0 for a run stopped at a file in use, which a script must
    // not read as success; 1 for an unpacked file that could not be
    // closed) and the session's (a --server beyond the list). Once the
    // session ends (its last action, as the started game, closes the
    // window too) the status is the session's.
    Application.SetHaltHandler([this](int code) {
      if (stop_signal_ != 0) {
        ReportStop();
        platform::EndProcessNow(ExitStatus());
        return;
      }
      platform::EndProcessNow(closing_at_end_ ? ExitStatus() : (code == 0 ? kExitStoppedEarly : code));
    });
  }

  int Run() {
    UpdaterRunHooks hooks;
    hooks.attach_engine = [this](TForm1& form1) { Attach(form1); };
    hooks.forms_created = [this](TForm1& form1, TForm2&) {
      // A failed start-up (see the error box) never arms the check.
      if (!form1.Engine.StartPending) {
        platform::PostMessage([this] { CloseAtEnd(); });
        return;
      }
      // The window gives itself Timer1's first second to appear before
      // the check starts; nobody watches this one appear. The tick runs
      // once the loop has shown the window, as Timer1's would.
      platform::PostMessage([&form1] {
        try {
          form1.Timer1Timer();
        } catch (const std::exception& error) {
          // As from Timer1's tick: the error box shows it.
          Application.ShowException(error);
        }
      });
    };
    // The window then stops the run and saves the record, or closes.
    hooks.stop_signal = [this](int signal) { StopSignalHeard(signal); };
    if (RunUpdater(backend_, exe_dir_, hooks) == UpdaterRunEnd::kFolderTaken) return kExitFolderTaken;
    if (stop_signal_ != 0) ReportStop();
    return ExitStatus();
  }

 private:
  void Attach(TForm1& form1) {
    form1_ = &form1;
    output_.SetLanguage(form1.Engine.LangLetter);
    if (options_.max_rate) form1.Engine.NetworkOverride.MaxRateKiBps = *options_.max_rate;
    if (options_.connections) form1.Engine.NetworkOverride.Connections = *options_.connections;
    form1.OnStatusText = [this](const std::string& text) { output_.Line(text); };
    form1.OnProgressText = [this](const std::string& text) { output_.Progress(WithRate(text)); };
    form1.OnRefusedName = [this](const std::string& sentence) { output_.Problem(sentence); };
    form1.OnUnusableServer = [this](const std::string& sentence) { output_.Problem(sentence); };
    form1.OnEntryFailed = [this] { entry_failed_ = true; };
    form1.OnCheckEnded = [this](CheckOutcome outcome) {
      outcome_ = outcome;
      platform::PostMessage([this] { FollowUp(); });
    };
  }

  // The window's progress text with the rate of all the connection's
  // downloads and the time the update run has left.
  std::string WithRate(const std::string& text) {
    const UpdateEngine& engine = form1_->Engine;
    rate_.Add(RateMeter::Clock::now(), ConnectionBytesReceived(engine));
    return ProgressLine(text, rate_.BytesPerSecond(), RunBytesLeft(engine));
  }

  void ConfirmServer(TForm2& dialog) {
    if (options_.server) {
      if (*options_.server >= dialog.Count()) {
        output_.Problem("--server " + std::to_string(*options_.server) + ": the server list has " +
                        std::to_string(dialog.Count()) + " entries (0 to " +
                        std::to_string(dialog.Count() - 1) + ")");
        Application.Halt(kExitBadArguments);
        return;
      }
      dialog.ListBox1->SetItemIndex(*options_.server);
    }
    dialog.Image1cMouseDown();
    dialog.Image1cMouseUp();
  }

  // Runs what a left click on the button runs, in a click's order (the
  // press; then the click and the release), each step's error shown in the
  // error box as the window shows it. The button's own handlers are called,
  // not a point on the window: where it lies and what covers it cannot
  // change what runs. A hidden or disabled button takes no click.
  static void Click(TControl& button) {
    if (!button.Visible() || !button.Enabled()) return;
    ShowingErrors([&] { button.MouseDown(TMouseButton::mbLeft, {}, 0, 0); });
    ShowingErrors([&] {
      button.Click();
      button.MouseUp(TMouseButton::mbLeft, {}, 0, 0);
    });
  }
  template <typename Step>
  static void ShowingErrors(const Step& step) {
    try {
      step();
    } catch (const std::exception& error) {  // the window's event loop shows it in the error box
      Application.ShowException(error);
    }
  }

  // The first stop signal ends the session; the status becomes 128 + its number.
  void StopSignalHeard(int signal) {
    if (stop_signal_ != 0) return;
    stop_signal_ = signal;
    stopped_run_ = form1_ != nullptr && form1_->Engine.UpdateRunning;
  }
  // Says on stderr, as the process ends, what the stop signal ended. A
  // record that could not be saved has had its error box.
  void ReportStop() {
    output_.Problem(std::string("stopped by ") + platform::StopSignalName(stop_signal_) +
                    (!stopped_run_        ? "; no update run was going on"
                     : error_box_shown_ ? "; the run was stopped"
                                        : "; the run was stopped and the record saved"));
  }

  void FollowUp() {
    // The window is closing: nothing more is asked of it.
    if (stop_signal_ != 0) return;
    const bool checked = outcome_ == CheckOutcome::kUpdatesReady || outcome_ == CheckOutcome::kUpToDate;
    if (checked && options_.update && outcome_ == CheckOutcome::kUpdatesReady) {
      Click(*form1_->Image2);
      ReportRunBytes();
    }
    if (stop_signal_ != 0) {
      CloseAtEnd();
      return;
    }
    if (checked && options_.forced) RunForcedUpdate();
    if (checked && options_.check) RunFileCheck();
    if (checked && options_.verify) RunVerify();
    if (checked && options_.start_game && form1_->Image3->Visible()) {
      // A started game closes the window, which ends a connected process
      // at once: that end is the session's own, not an in-use stop.
      closing_at_end_ = true;
      Click(*form1_->Image3);
    }
    CloseAtEnd();
  }

  // What an update run that patched files from their chunks fetched,
  // against the size of the files it installed had they all been
  // downloaded whole. A run without patches prints what it always did.
  void ReportRunBytes() {
    const UpdateRunBytes& run = form1_->Engine.LastRunBytes;
    if (run.Patched == 0) return;
    output_.Line("update: fetched " + std::to_string(run.Received) + " of " + std::to_string(run.Whole) + " bytes (" +
                 std::to_string(run.Patched) + " file" + (run.Patched == 1 ? "" : "s") + " patched from chunks)");
  }

  // The forced-update button; its question is answered as every other
  // (No unless --yes), so without --yes nothing is reinstalled.
  void RunForcedUpdate() {
    Click(*form1_->Image1);
    if (!options_.yes)
      output_.Problem("--forced: the question was answered No and nothing was reinstalled (add --yes to confirm it)");
  }

  // The window's file check; its errors go to the error box as a click's would.
  void RunFileCheck() {
    if (!form1_->Image3->Visible()) {
      output_.Problem("--check: the file check runs once nothing is left to update (add --update)");
      return;
    }
    FileCheckResult result;
    try {
      result = form1_->Image8Click();
    } catch (const std::exception& error) {
      Application.ShowException(error);
      return;
    }
    if (result.unrepaired == 0) return;
    output_.Problem("--check: " + std::to_string(result.unrepaired) + " file" + (result.unrepaired == 1 ? "" : "s") +
                    " not repaired, listed in " + result.unrepaired_list_path);
    check_failed_ = true;
  }

  // Verify game files; its errors go to the error box as a click's would.
  void RunVerify() {
    VerifyReport report;
    try {
      report = VerifyGameFiles(form1_->Engine);
    } catch (const std::exception& error) {
      Application.ShowException(error);
      return;
    }
    std::string summary = "verify: " + std::to_string(report.checked) + " files checked, " +
                          std::to_string(report.repaired.size()) + " repaired, " +
                          std::to_string(report.unrepaired.size()) + " not repaired";
    if (const size_t bundles = report.unverifiable_bundles.size(); bundles > 0)
      summary += ", " + std::to_string(bundles) + " bundle" + (bundles == 1 ? "" : "s") + " not verifiable";
    output_.Line(summary);
    for (const std::string& name : report.repaired) output_.Line("repaired: " + name);
    for (const std::string& name : report.unverifiable)
      output_.Line("not verifiable: " + name + " (its server line gives no SHA-256 of the installed file)");
    for (const std::string& name : report.unverifiable_bundles)
      output_.Line("not verifiable: " + name + " (a bundle: its members have no SHA-256 to compare; --check measures "
                   "them against datec.dat)");
    for (const std::string& sentence : report.unrepaired) output_.Problem("not repaired: " + sentence);
    if (!report.AllRight()) verify_failed_ = true;
  }

  void CloseAtEnd() {
    closing_at_end_ = true;
    if (form1_ != nullptr) form1_->Close();
    Application.Terminate();
  }

  int ExitStatus() const {
    if (stop_signal_ != 0) return 128 + stop_signal_;
    if (outcome_ == CheckOutcome::kNoServer) return 1;
    // An entry left out for cause counts like an error box: the run did
    // not install everything.
    if (error_box_shown_ || entry_failed_ || check_failed_ || verify_failed_) return 3;
    return 0;
  }

  const CliOptions& options_;
  const std::string exe_dir_;
  CliOutput output_;
  RateMeter rate_;
  CliBackend backend_;
  TForm1* form1_ = nullptr;
  std::optional<CheckOutcome> outcome_;
  bool error_box_shown_ = false;
  bool entry_failed_ = false;
  bool check_failed_ = false;   // --check left a file unrepaired
  bool verify_failed_ = false;  // --verify left a file wrong
  bool closing_at_end_ = false;
  int stop_signal_ = 0;  // the stop signal that ends the session, 0 while none came
  bool stopped_run_ = false;  // it came during an update run
};

}  // namespace

int RunCliSession(const CliOptions& options, const std::string& exe_dir) {
  CliSession session(options, exe_dir);
  return session.Run();
}
