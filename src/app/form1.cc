#include "app/form1.h"

#include <cstdio>

#include "app/form2.h"
#include "app/server_transports.h"
#include "filecheck/file_check.h"
#include "lists/list_file.h"
#include "platform/game_path.h"
#include "platform/ini_file.h"
#include "platform/locale.h"
#include "skin_design_data.h"
#include "texts/texts.h"
#include "update/signed_set.h"
#include "update/update_run.h"
#include "vcl/application.h"

namespace {

// 新細明體, the window's default face, in Big5.
constexpr char kDefaultFaceBig5[] = "\xB7\x73\xB2\xD3\xA9\xFA\xC5\xE9";

}  // namespace

char LangLetterFor(int primary_language, int sub_language) {
  if (primary_language != 4) return 'n';
  return (sub_language == 1 || sub_language == 3 || sub_language == 5) ? 't' : 's';
}

std::string GetLangLetter() {
  const platform::LocaleLanguage language = platform::CurrentLocaleLanguage();
  return std::string(1, LangLetterFor(language.primary, language.sub));
}

TForm1::TForm1(const std::string& exe_dir)
    : TForm(nullptr), Engine(*this, Gzip, ServerTransports()), exe_dir_(exe_dir) {
  Name = "Form1";
  SetCaption("update");
  SetBounds(0, 0, 924, 680);
  CreateControls();
  WireButtons();
  OnCreate = [this] { FormCreate(); };
  OnShow = [this] { FormShow(); };
  OnClose = [this](TCloseAction& action) { FormClose(action); };
  OnDestroy = [this] { FormDestroy(); };
  OnResize = [this] { FormResize(); };
  DoCreate();
}

TForm1::~TForm1() { DoDestroy(); }

void TForm1::CreateControls() {
  // Painted controls, bottom first; the web view lies above all of them.
  SkinForm1 = new TSkinForm(this);
  SkinForm1->SetParent(this);
  SkinForm1->SetBounds(0, 0, 924, 680);
  SkinForm1->ReadMask2(Form1StoredMask2());

  Image5 = new TImage(this);
  Image5->SetParent(this);
  Image5->SetBounds(8, 529, 680, 21);
  Image5->SetVisible(false);

  Label3 = new TLabel(this);
  Label3->SetParent(this);
  Label3->Transparent = true;
  Label3->SetFont({kDefaultFaceBig5, 16, vcl::kAqua});
  Label3->SetTop(486);
  Label3->SetVisible(false);

  Gauge1 = new TGauge(this);
  Gauge1->SetParent(this);
  Gauge1->SetBounds(119, 518, 394, 9);

  const auto make_button = [this](int left) {
    auto* image = new TImage(this);
    image->SetParent(this);
    image->SetBounds(left, 552, 98, 36);
    return image;
  };
  Image2 = make_button(133);
  Image3 = make_button(134);
  Image3->SetVisible(false);
  Image4 = make_button(551);

  Label4 = new TLabel(this);
  Label4->SetParent(this);
  Label4->Transparent = true;
  Label4->SetFont({"Arial", 16, vcl::kYellow});
  Label4->SetCaption("0% ");
  Label4->SetTop(514);

  Image6 = make_button(446);
  Image1 = make_button(238);
  Image7 = make_button(342);

  Image8 = new TImage(this);
  Image8->SetParent(this);
  Image8->SetBounds(66, 8, 180, 29);
  Image8->SetVisible(false);

  Image9 = new TImage(this);
  Image9->SetParent(this);
  Image9->SetBounds(188, 160, 252, 62);

  WebBrowser1 = new TWebBrowser(this);
  WebBrowser1->SetParent(this);
  WebBrowser1->SetBounds(117, 220, 397, 248);

  // Controls that are never shown.
  StatusBar1 = new TStatusBar(this);
  StatusBar1->SetParent(this);
  StatusBar1->SetVisible(false);
  ListBox1 = new TListBox(this);
  ListBox2 = new TListBox(this);
  ListBox3 = new TListBox(this);
  Button1 = new TButton(this);
  Button4 = new TButton(this);
  for (TControl* hidden : std::initializer_list<TControl*>{ListBox1, ListBox2, ListBox3, Button1, Button4}) {
    hidden->SetParent(this);
    hidden->SetVisible(false);
    hidden->SetBounds(0, 0, 75, 25);
  }

  Timer1 = new TTimer(this);
  Timer1->SetInterval(1000);
  Timer1->SetOnTimer([this] { Timer1Timer(); });
}

std::string TForm1::GamePath(const std::string& windows_name) const {
  return platform::ResolveGameFileName(Engine.ExeDir, windows_name);
}

void TForm1::LoadSkin(TImage* image, const std::string& windows_name) {
  image->LoadFromFile(GamePath(windows_name));
}

void TForm1::LoadFtpConfig() {
  // The name carries its own leading separator; the doubled one is harmless.
  const std::string ini = GamePath("\\FtpConfig.ini");
  RFtpConfigType& config = Engine.FtpConfig;
  config.HomePageUrl = platform::ReadProfileString(ini, "HOMEPAGE", "HOME", "");
  config.AccountUrl = platform::ReadProfileString(ini, "HOMEPAGE", "ACCOUNT", "");
  config.GameExeFile = platform::ReadProfileString(ini, "EXECUTE", "EXEFILE", "");
}

void TForm1::CentreOverGauge(TLabel* label) {
  label->SetLeft(Gauge1->Left() + (Gauge1->Width() - label->Width()) / 2);
}

void TForm1::FormCreate() {
  Gzip.DeleteSource = true;
  Gzip.WindowOnError = true;
  Gzip.ProgressStep = 0;
  Gzip.OnErrorBox = [](const std::string& text, const std::string& caption) {
    Application.AbortBox(text, caption);
  };
  // A close that lost data ends the updater at once, after its box.
  Gzip.OnCloseFailed = [] { Application.Halt(1); };

  Engine.ExeDir = exe_dir_;
  LoadFtpConfig();

  const vcl::Size screen = Application.Backend().ScreenSize();
  SetBounds((screen.width - 924) / 2, (screen.height - 680) / 3, 924, 680);

  Engine.ForcedUpdateActive = false;
  Engine.StartPending = false;
  Engine.ShowProgress = false;

  ListBox1->Font.name = "Courier New";
  ListBox2->Font.name = "Courier New";

  LoadSkin(Image5, "FTP\\fbar1.bmp");
  Image5->Transparent = true;
  Image5->TransparentColor = vcl::kAqua;

  Label4->SetFontHeight(16);

  const char lang = Engine.LangLetter = GetLangLetter()[0];
  Application.CharSet = lang == 't' ? "BIG5" : lang == 's' ? "GB2312" : "WINDOWS-1252";

  LoadSkin(SkinForm1, "Ftp\\FTP_ORVEL_001b.bmp");
  SkinForm1->SetBounds(0, 0, 924, 680);
  LoadSkin(Image2, "Ftp\\FTP_cool_a_D_001b.bmp");
  LoadSkin(Image3, "Ftp\\FTP_cool_b_D_001b.bmp");
  LoadSkin(Image4, "Ftp\\FTP_cool_d_D_001b.bmp");
  LoadSkin(Image6, "Ftp\\FTP_cool_c_D_001b.bmp");
  LoadSkin(Image1, "Ftp\\FTP_cool_k_D_001b.bmp");
  LoadSkin(Image7, "Ftp\\FTP_cool_n_D_001b.bmp");

  StatusBar1->SetBounds(0, 0, 1, 1);
  Button1->SetBounds(422, 204, Button1->Width(), Button1->Height());
  Button4->SetBounds(470, 332, Button4->Width(), Button4->Height());
  Image5->SetBounds(8, 529, 680, 21);
  Gauge1->SetBounds(119, 518, 394, 9);
  CentreOverGauge(Label4);
  CentreOverGauge(Label3);
  Label3->SetFontHeight(16);

  Engine.StartPending = true;

  WebBrowser1->SetBounds(117, 220, 514 - 117, 468 - 220);
  WebBrowser1->SetVisible(true);
  // A bulletin the game's key does not vouch for leaves the view empty.
  const std::string bulletin = GamePath("bulletin.htm");
  WebBrowser1->Navigate(MayShowServedFile(Engine.ExeDir, bulletin) ? bulletin : "");

  Engine.CheckMode = false;
  Engine.ShowPending = false;
}

void TForm1::FormShow() { Engine.ShowPending = true; }

void TForm1::Timer1Timer() {
  if (Hooks.Timer1Timer) Hooks.Timer1Timer();
}

void TForm1::FormResize() {
  if (Hooks.FormResize) Hooks.FormResize();
}

void TForm1::Button1Click() {
  if (Hooks.Button1Click) Hooks.Button1Click();
  CloseIfRunStopped();
}

void TForm1::CloseIfRunStopped() {
  if (Engine.StopRequested && !Engine.UpdateRunning) CloseAndEnd();
}

void TForm1::StopRequested() {
  if (RequestRunStop(Engine)) return;
  Engine.ExitRequested = true;
  CloseAndEnd();
}

void TForm1::CloseAndEnd() {
  int status = 0;
  try {
    Close();
  } catch (const std::exception& error) {
    // Nobody may be there to answer a box (a logout sends the signal), and
    // a box would keep the process alive: the error goes to standard error.
    std::fprintf(stderr, "%s\n", error.what());
    status = 1;
  }
  // A box or a connection attempt may still hold the loop: the process
  // ends here, the record saved by the close.
  Application.Halt(status);
}

void TForm1::Button4Click() {
  const std::string question = SelectText(kExitQuestion, Engine.LangLetter);
  if (Application.MessageBox(question, Application.Title, MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  Label3->SetCaption(std::string(kPleaseWait));
  CentreOverGauge(Label3);
  Engine.ExitRequested = true;
  Close();
}

FileCheckResult TForm1::Image8Click() { return ::Image8Click(Engine); }

void TForm1::FormClose(TCloseAction&) {
  if (!Engine.RecordList) return;
  SaveRecord(Engine);
  Engine.RecordList.reset();
  Engine.PendingList.reset();
  Engine.ServerList.reset();
  // An FTP session still up would keep the loop busy; end at once.
  if (Engine.IsConnected) Application.Halt(0);
}

void TForm1::FormDestroy() {
  if (Hooks.FormDestroy) Hooks.FormDestroy();
  Engine.Connection.reset();
}

ServerChoice TForm1::ReadServerChoice() const {
  if (ServerDialog == nullptr) return {};
  return {ServerDialog->ItemIndex(), ServerDialog->Count(), ServerDialog->ServerLines()};
}

void TForm1::SetStatusText(const std::string& text) {
  Label3->SetCaption(text);
  CentreOverGauge(Label3);
  if (OnStatusText) OnStatusText(text);
}

void TForm1::SetStatusTextUncentred(const std::string& text) {
  Label3->SetCaption(text);
  Label3->Invalidate();
}

void TForm1::SetProgressText(const std::string& text) {
  Label4->SetCaption(text);
  CentreOverGauge(Label4);
  if (OnProgressText) OnProgressText(text);
}

void TForm1::SetConnectionStatus(const std::string& text) {
  // The status line is gone while the window is destroyed.
  if (StatusBar1 != nullptr) StatusBar1->SetSimpleText(text);
}

void TForm1::PendingNameDone() {
  if (ListBox1->Items.Count() == 0) return;
  ListBox2->Items.Add(ListBox1->Items[0]);
  ListBox1->Items.Delete(0);
}

void TForm1::ShowBox(const std::string& text, BoxIcon icon) {
  Application.MessageBox(text, Application.Title, icon == BoxIcon::kInformation ? MB_OK | MB_ICONINFORMATION : MB_OK);
}

bool TForm1::AskYesNo(const std::string& text) {
  return Application.MessageBox(text, Application.Title, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TForm1::ReportRefusedName(const std::string& sentence) {
  if (OnRefusedName) OnRefusedName(sentence);
}

void TForm1::ReportUnusableServer(const std::string& sentence) {
  if (OnUnusableServer) OnUnusableServer(sentence);
}

void TForm1::EntryFailed() {
  if (OnEntryFailed) OnEntryFailed();
}

void TForm1::CheckEnded(CheckOutcome outcome) {
  if (OnCheckEnded) OnCheckEnded(outcome);
}
