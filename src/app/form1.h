// TForm1: the borderless, skinned main window. It creates its controls in
// the order of the window design (that order is the z-order), initialises
// the shared state in FormCreate, and handles the image buttons. The update
// work itself lives in the engine, which fills the Engine hooks.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/skin_form.h"
#include "update/update_window.h"
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
  // Part of FormDestroy: disconnects FtpClient when it exists and releases
  // the file check's list; the window then drops FtpClient itself.
  std::function<void()> FormDestroy;
};

// The letter for a locale: 't' for Chinese of Taiwan, Hong Kong or Macau
// (sub-language 1, 3, 5), 's' for other Chinese, 'n' for everything else.
char LangLetterFor(int primary_language, int sub_language);
// The letter of this process's locale, as a one-character text.
std::string GetLangLetter();

class TForm1 : public TForm, public UpdateWindow {
 public:
  // exe_dir: the updater's folder, a real path ending in '/'. The
  // constructor runs FormCreate; a failure there is shown in a box.
  explicit TForm1(const std::string& exe_dir);
  ~TForm1() override;

  TForm1EngineHooks Engine;
  // The server dialog, read by ReadServerChoice; null until it exists.
  TForm2* ServerDialog = nullptr;

  // Controls of the window design, in creation (z-) order. Label3, Label4,
  // Gauge1, Image3, ListBox1..3, Button1 and StatusBar1 are the pointers
  // of UpdateWindow.
  TSkinForm* SkinForm1 = nullptr;
  TImage* Image5 = nullptr;
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
  // Engine handlers, run through Engine (empty hooks are skipped): every
  // tick of Timer1 and the window's resize run the update check, the hidden
  // Button1's click the update run.
  void Timer1Timer();
  void FormResize();
  void Button1Click();
  void FormClose(TCloseAction& action);
  void FormDestroy();
  // The exit button (Image4's click and Button4's): asks, and on Yes
  // closes the window.
  void Button4Click();

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
  // click unconnected; updater-cli --check calls this. Throws as the check does.
  void Image8Click();
  void LoadFtpConfig();

  // Centres a label over Gauge1 (integer division rounding toward zero).
  void CentreOverGauge(TLabel* label);

  // UpdateWindow
  void CloseMainWindow() override { Close(); }
  void HideMainWindow() override { Hide(); }
  ServerChoice ReadServerChoice() const override;

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
  std::unique_ptr<TGzip> gzip_;
};
