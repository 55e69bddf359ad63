// A bare main window for the update engine's tests: the controls and state
// the engine sees (UpdateWindow), in a fresh game folder, with closing,
// hiding and the dialog's choice recorded or scripted instead of acting.
// Needs an application backend (test_support::HeadlessAppTest).
#pragma once

#include <string>
#include <vector>

#include "gzip/gzip.h"
#include "support/temp_folder.h"
#include "update/update_window.h"
#include "vcl/application.h"
#include "vcl/form.h"
#include "vcl/gauge.h"
#include "vcl/image.h"
#include "vcl/label.h"
#include "vcl/list_box.h"
#include "vcl/std_controls.h"

namespace test_support {

class EngineTestWindow : public TForm, public UpdateWindow {
 public:
  EngineTestWindow() : TForm(nullptr) {
    ExeDir = folder.path();
    Label3 = Add(new TLabel(this));
    Label3->SetFontHeight(16);
    Label3->SetTop(486);
    Label3->SetVisible(false);
    Gauge1 = Add(new TGauge(this));
    Gauge1->SetBounds(119, 518, 394, 9);
    Image3 = Add(new TImage(this));
    Image3->SetBounds(134, 552, 98, 36);
    Image3->SetVisible(false);
    Label4 = Add(new TLabel(this));
    Label4->SetFontHeight(16);
    Label4->SetTop(514);
    ListBox1 = Add(new TListBox(this));
    ListBox2 = Add(new TListBox(this));
    ListBox3 = Add(new TListBox(this));
    Button1 = Add(new TButton(this));
    StatusBar1 = Add(new TStatusBar(this));
    for (TControl* hidden : std::initializer_list<TControl*>{ListBox1, ListBox2, ListBox3, Button1, StatusBar1})
      hidden->SetVisible(false);
    gzip.DeleteSource = true;
    gzip.WindowOnError = true;
    gzip.OnErrorBox = [](const std::string& text, const std::string& caption) {
      Application.AbortBox(text, caption);
    };
    Gzip = &gzip;
    OnStatusText = [this](const std::string& text) { status_texts.push_back(text); };
    OnProgressText = [this](const std::string& text) { progress_texts.push_back(text); };
    OnRefusedName = [this](const std::string& sentence) { refused.push_back(sentence); };
    OnCheckEnded = [this](CheckOutcome outcome) { outcomes.push_back(outcome); };
  }
  ~EngineTestWindow() override {
    FtpClient.reset();
    DestroyComponents();
  }

  void CloseMainWindow() override { ++closes; }
  void HideMainWindow() override { ++hides; }
  ServerChoice ReadServerChoice() const override { return choice; }

  TempFolder folder;  // the game folder, ExeDir
  TGzip gzip;
  ServerChoice choice;
  int closes = 0;
  int hides = 0;
  std::vector<std::string> status_texts;
  std::vector<std::string> progress_texts;
  std::vector<std::string> refused;
  std::vector<CheckOutcome> outcomes;

 private:
  template <class Control>
  Control* Add(Control* control) {
    control->SetParent(this);
    return control;
  }
};

}  // namespace test_support
