// TForm1: the borderless, skinned main window. It creates its controls in
// the order of the window design (that order is the z-order), initialises
// the engine's settings in FormCreate, and handles the image buttons. The
// update work itself lives in the engine (Engine, run through Hooks), which
// shows itself through the UpdateView this window implements on its controls.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/skin_form.h"
#include "filecheck/file_check.h"
#include "gzip/gzip.h"
#include "update/update_engine.h"
#include "update/update_view.h"
#include "vcl/form.h"
#include "vcl/gauge.h"
#include "vcl/image.h"
#include "vcl/label.h"
#include "vcl/list_box.h"
#include "vcl/std_controls.h"
#include "vcl/timer.h"
#include "vcl/web_browser.h"

class TForm2;

// The handlers whose work belongs to the update engine, filled by
// AttachUpdateEngine (app/engine_hooks.h) at program start; tests may fill
// them with their own. An empty hook is skipped. They run on the
// user-interface thread and may pump messages.
struct TForm1EngineHooks {
  std::function<void()> Timer1Timer;    // every tick of Timer1 (1000 ms)
  std::function<void()> FormResize;     // the window's OnResize
  std::function<void()> Button1Click;   // the update run
  std::function<void()> Image1MouseUp;  // forced update, after the normal bitmap is back
  std::function<void()> Image3Click;    // start the game
  // Part of FormDestroy: disconnects the engine's connection when it
  // exists; the window then drops the connection itself.
  std::function<void()> FormDestroy;
};

// The letter for a locale: 't' for Chinese of Taiwan, Hong Kong or Macau
// (sub-language 1, 3, 5), 's' for other Chinese, 'n' for everything else.
char LangLetterFor(int primary_language, int sub_language);
// The letter of this process's locale, as a one-character text.
std::string GetLangLetter();

class TForm1 : public TForm, public UpdateView {
 public:
  // exe_dir: the updater's folder, a real path ending in '/'. The
  // constructor runs FormCreate; a failure there is shown in a box.
  explicit TForm1(const std::string& exe_dir);
  ~TForm1() override;

  TForm1EngineHooks Hooks;
  // The unpacker (configured in FormCreate) and the update engine's state.
  TGzip Gzip;
  UpdateEngine Engine;
  // The server dialog, read by ReadServerChoice; null until it exists.
  TForm2* ServerDialog = nullptr;

  // Controls of the window design, in creation (z-) order, then the hidden
  // ones: the status line Label3 and byte counter Label4 (kept centred over
  // Gauge1), the list boxes that mirror the engine's name lists, the
  // update run's Button1 and the connection's status line StatusBar1.
  TSkinForm* SkinForm1 = nullptr;
  TImage* Image5 = nullptr;
  TLabel* Label3 = nullptr;
  TGauge* Gauge1 = nullptr;
  TImage* Image3 = nullptr;
  TLabel* Label4 = nullptr;
  TListBox* ListBox1 = nullptr;  // pending local names
  TListBox* ListBox2 = nullptr;  // names processed in this run
  TListBox* ListBox3 = nullptr;  // names of the server listing
  TButton* Button1 = nullptr;
  TStatusBar* StatusBar1 = nullptr;  // null once destroyed
  TImage* Image2 = nullptr;
  TImage* Image4 = nullptr;
  TImage* Image6 = nullptr;
  TImage* Image1 = nullptr;
  TImage* Image7 = nullptr;
  TImage* Image8 = nullptr;
  TImage* Image9 = nullptr;
  TWebBrowser* WebBrowser1 = nullptr;
  TButton* Button4 = nullptr;
  TTimer* Timer1 = nullptr;

  void FormCreate();
  void FormShow();
  // Engine handlers, run through Hooks (empty hooks are skipped): every
  // tick of Timer1 and the window's resize run the update check, the hidden
  // Button1's click the update run.
  void Timer1Timer();
  void FormResize();
  void Button1Click();
  void FormClose(TCloseAction& action);
  void FormDestroy();
  // Closes the window after an update run that a stop request ended.
  void CloseIfRunStopped();
  // Closes the window (which saves the record) and ends the process
  // (Application.Halt(0); 1 when the record could not be saved, the error
  // then on standard error, where no box can keep the process alive), as a
  // stop signal asks.
  void CloseAndEnd();
  // The exit button (Image4's click and Button4's): asks, and on Yes
  // closes the window.
  void Button4Click();
  // A stop signal's action (see app/stop_on_signal.h): an update run in
  // progress is asked to stop, and the window closes once it has saved
  // the record; without one the window closes at once, as after the exit
  // button's question.
  void StopRequested();

  // The image buttons. Mouse down shows the pressed look, mouse up the
  // normal look, each loaded from its file at that moment (a missing file
  // throws EFOpenError and the button's action does not run); which mouse
  // button was used does not matter. After the normal look is back:
  // Image2 clicks Button1 (the update run) unless a forced update runs or
  // Button1 is disabled; Image6 opens the home page, Image7 the account
  // page; Image1 runs the forced update. Image3's click starts the game.
  void Image2MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void Image2MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void Image3MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void Image3MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void Image3Click();
  void Image4MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void Image4MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void Image6MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void Image6MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void Image1MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void Image1MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void Image7MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void Image7MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  // The file check (filecheck/file_check.h). Image8 stays hidden and its
  // click unconnected; updater-cli --check calls this. Throws and returns
  // as the check does.
  FileCheckResult Image8Click();
  void LoadFtpConfig();

  // Centres a label over Gauge1 (integer division rounding toward zero).
  void CentreOverGauge(TLabel* label);

  // Called after every text change of Label3 (the status line) and of
  // Label4 (the byte counter), with data from the server that was refused,
  // with each server a check could not use (the window shows only its
  // box), and at the end of every update check that ran. updater-cli
  // prints them. Empty = nobody listens.
  std::function<void(const std::string& bytes)> OnStatusText;
  std::function<void(const std::string& bytes)> OnProgressText;
  std::function<void(const std::string& sentence)> OnRefusedName;
  std::function<void(const std::string& sentence)> OnUnusableServer;
  std::function<void(CheckOutcome)> OnCheckEnded;
  // Called when an entry was passed over for what the server sent (see
  // UpdateView::EntryFailed); updater-cli then ends with exit status 3.
  std::function<void()> OnEntryFailed;

  // UpdateView, on the controls above.
  void SetStatusText(const std::string& text) override;
  void SetStatusTextUncentred(const std::string& text) override;
  void ShowStatusLine() override { Label3->Show(); }
  void SetProgressText(const std::string& text) override;
  void ShowProgressBar() override { Gauge1->Show(); }
  void SetProgressMax(int max) override { Gauge1->SetMaxValue(max); }
  void SetProgress(int position) override { Gauge1->SetProgress(position); }
  void SetConnectionStatus(const std::string& text) override;
  void PendingNameAdded(const std::string& name) override { ListBox1->Items.Add(name); }
  void PendingNameDone() override;
  void PendingNamesCleared() override { ListBox1->Items.Clear(); }
  void ListingNameAdded(const std::string& name) override { ListBox3->Items.Add(name); }
  void ListingCleared() override { ListBox3->Items.Clear(); }
  void SetUpdateArmed(bool armed) override { Button1->SetEnabled(armed); }
  void ShowStartGame() override { Image3->Show(); }
  void ShowBox(const std::string& text, BoxIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  void CloseMainWindow() override { Close(); }
  void HideMainWindow() override { Hide(); }
  void ShowMainWindow() override { Show(); }
  ServerChoice ReadServerChoice() const override;
  void ReportRefusedName(const std::string& sentence) override;
  void ReportUnusableServer(const std::string& sentence) override;
  void EntryFailed() override;
  void CheckEnded(CheckOutcome outcome) override;

 private:
  void CreateControls();
  void WireButtons();
  // Real path of a Windows-style name relative to ExeDir.
  std::string GamePath(const std::string& windows_name) const;
  // Loads a skin bitmap into an image (throws EFOpenError naming the file).
  void LoadSkin(TImage* image, const std::string& windows_name);
  // Loads look 'H' (pressed) or 'D' (normal) of the image button whose
  // bitmaps carry `letter` ("Ftp\FTP_cool_<letter>_<look>_001b.bmp").
  void ShowButtonLook(TImage* image, char letter, char look);

  const std::string exe_dir_;
};
