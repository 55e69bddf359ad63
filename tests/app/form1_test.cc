#include "app/form1.h"

#include <gtest/gtest.h>

#include "texts/texts.h"
#include "gzip/gzip.h"
#include "locale_env.h"
#include "mask2_payload.h"
#include "skin_design_data.h"
#include "support/game_folder.h"
#include "support/headless_app.h"
#include "trust/minisign_keys.h"
#include "trust/minisign_signature.h"

#include <filesystem>

namespace {

class Form1Test : public test_support::HeadlessAppTest {
 protected:
  Form1Test() : locale("en_US.UTF-8") {
    backend.screen = {800, 600};
    Application.Title = "Vortftpup";
  }

  TForm1* CreateForm1() { return Application.CreateForm<TForm1>(folder.path()); }

  // A full press and release at form coordinates.
  static void Press(TForm& form, TMouseButton button, int x, int y) {
    form.MouseDown(button, {}, x, y);
  }

  ScopedLocale locale;
  test_support::GameFolder folder;
};

TEST_F(Form1Test, StartUpWithSkinsReachesStartPending) {
  folder.WriteAllSkins();
  folder.Write("ftpconfig.INI",
               "[HOMEPAGE]\r\nHOME=http://home.example/\r\nACCOUNT=http://acc.example/\r\n"
               "[EXECUTE]\r\nEXEFILE=Quelmar.exe kvx -w\r\n");
  TForm1* form = CreateForm1();
  EXPECT_TRUE(backend.boxes.empty());
  EXPECT_TRUE(form->Engine.StartPending);
  EXPECT_FALSE(form->Engine.ShowPending);
  EXPECT_FALSE(form->Engine.ExitRequested);
  EXPECT_FALSE(form->Engine.ForcedUpdateActive);
  EXPECT_FALSE(form->Engine.ShowProgress);
  EXPECT_FALSE(form->Engine.CheckMode);
  EXPECT_EQ(form->Engine.ExeDir, folder.path());
  EXPECT_EQ(form->Engine.LangLetter, 'n');
  EXPECT_EQ(form->Engine.FtpConfig.HomePageUrl, "http://home.example/");
  EXPECT_EQ(form->Engine.FtpConfig.AccountUrl, "http://acc.example/");
  EXPECT_EQ(form->Engine.FtpConfig.GameExeFile, "Quelmar.exe kvx -w");
  {
    SCOPED_TRACE("geometry on an 800 x 600 screen");
    EXPECT_EQ(form->Left(), -62);
    EXPECT_EQ(form->Top(), -26);
    EXPECT_EQ(form->Width(), 924);
    EXPECT_EQ(form->Height(), 680);
    EXPECT_EQ(form->Gauge1->BoundsRect().right, 119 + 394);
    // "0% " is 3 bytes of 8 px: 119 + (394 - 24) / 2.
    EXPECT_EQ(form->Label4->Left(), 304);
    EXPECT_EQ(form->Label3->Left(), 119 + 394 / 2) << "empty caption";
    EXPECT_EQ(form->WebBrowser1->BoundsRect().right, 514);
    EXPECT_EQ(form->WebBrowser1->BoundsRect().bottom, 468);
    EXPECT_EQ(form->StatusBar1->Width(), 1);
    EXPECT_EQ(form->Button1->Left(), 422);
    EXPECT_EQ(form->Button4->Top(), 332);
  }
  {
    SCOPED_TRACE("controls and their state");
    EXPECT_FALSE(form->Image3->Visible());
    EXPECT_FALSE(form->Image5->Visible());
    EXPECT_TRUE(form->Image5->Transparent);
    EXPECT_EQ(form->Image5->TransparentColor, vcl::kAqua);
    EXPECT_EQ(form->Label3->Font().height, 16);
    EXPECT_EQ(form->ListBox1->Font.name, "Courier New");
    EXPECT_EQ(form->SkinForm1->Picture().width, 924);
    EXPECT_TRUE(form->Button1->Enabled());
        EXPECT_TRUE(form->Gzip.DeleteSource);
    EXPECT_TRUE(form->Gzip.WindowOnError);
    ASSERT_EQ(backend.navigations.size(), 1u);
    EXPECT_EQ(backend.navigations[0].address, folder.path() + "bulletin.htm");
    EXPECT_EQ(backend.shapes[form].size(), StoredRectCount(Form1StoredMask2()))
        << "the stored outline is the window shape";
  }
  {
    SCOPED_TRACE("z-order: design order, the HTML view above all");
    const std::vector<TControl*> design_order{
        form->SkinForm1, form->Image5, form->Label3, form->Gauge1, form->Image2,
        form->Image3,    form->Image4, form->Label4, form->Image6, form->Image1,
        form->Image7,    form->Image8, form->Image9, form->WebBrowser1};
    const std::vector<TControl*>& controls = form->Controls();
    ASSERT_GE(controls.size(), design_order.size());
    EXPECT_EQ(std::vector<TControl*>(controls.begin(), controls.begin() + design_order.size()),
              design_order);
  }
  form->Show();
  EXPECT_TRUE(form->Engine.ShowPending);
}

// With the game's key, the bulletin from the last check is shown only
// when its signature beside it verifies; otherwise the view stays empty.
TEST_F(Form1Test, SignedGameShowsOnlyASignedBulletin) {
  folder.WriteAllSkins();
  const trust::SecretKey key = trust::GenerateSecretKey();
  const trust::SecretKey stranger = trust::GenerateSecretKey();
  const std::string page = "<p>news</p>";
  struct Case {
    const char* name;
    std::string key_file;   // "" = no update.pub
    std::string signature;  // "" = none
    bool shown;
  };
  const std::vector<Case> cases = {
      {"no key: shown as ever", "", "", true},
      {"signed by the key", trust::FormatPublicKey(key.Public()),
       trust::FormatSignature(trust::SignBytes(key, page, "timestamp:1\tfile:bulletin.htm")), true},
      {"signed by the key as another file", trust::FormatPublicKey(key.Public()),
       trust::FormatSignature(trust::SignBytes(key, page, "timestamp:1\tfile:update3.dat")), false},
      {"no signature", trust::FormatPublicKey(key.Public()), "", false},
      {"signed by another key", trust::FormatPublicKey(key.Public()),
       trust::FormatSignature(trust::SignBytes(stranger, page, "timestamp:1")), false},
      {"signature of other bytes", trust::FormatPublicKey(key.Public()),
       trust::FormatSignature(trust::SignBytes(key, page + " ", "timestamp:1")), false},
      {"damaged key", "untrusted comment: x\nnot a key\n", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    folder.Write("bulletin.htm", page);
    std::filesystem::remove(folder.path() + "update.pub");
    std::filesystem::remove(folder.path() + "bulletin.htm.minisig");
    if (!c.key_file.empty()) folder.Write("update.pub", c.key_file);
    if (!c.signature.empty()) folder.Write("bulletin.htm.minisig", c.signature);
    backend.navigations.clear();
    TForm1* form = CreateForm1();
    ASSERT_EQ(backend.navigations.size(), 1u);
    EXPECT_EQ(backend.navigations[0].address, c.shown ? folder.path() + "bulletin.htm" : "");
    delete form;
  }
}

TEST_F(Form1Test, TheViewKeepsItsLabelsCentredAndMirrorsTheEngine) {
  folder.WriteAllSkins();
  TForm1* form = CreateForm1();
  std::vector<std::string> status_texts, progress_texts;
  form->OnStatusText = [&](const std::string& text) { status_texts.push_back(text); };
  form->OnProgressText = [&](const std::string& text) { progress_texts.push_back(text); };
  // The headless backend measures 8 px per byte at height 16.
  form->SetStatusText("abc");  // 24 px: 119 + (394 - 24) / 2
  EXPECT_EQ(form->Label3->Left(), 119 + 185);
  form->SetStatusText("abcd");  // 32 px: odd half truncated
  EXPECT_EQ(form->Label3->Left(), 119 + 181);
  form->SetProgressText(std::string(51, 'x'));  // 408 px, wider than the gauge: (394 - 408) / 2 = -7
  EXPECT_EQ(form->Label4->Left(), 119 - 7);
  EXPECT_EQ(status_texts, (std::vector<std::string>{"abc", "abcd"}));
  EXPECT_EQ(progress_texts.size(), 1u);

  SCOPED_TRACE("the hidden list boxes and Button1 follow the engine");
  AddPendingName(form->Engine, "a");
  AddPendingName(form->Engine, "b");
  MarkFirstPendingDone(form->Engine);
  EXPECT_EQ(form->ListBox1->Items.Lines(), (std::vector<std::string>{"b"}));
  EXPECT_EQ(form->ListBox2->Items.Lines(), (std::vector<std::string>{"a"}));
  AddListingName(form->Engine, "update3.dat");
  EXPECT_EQ(form->ListBox3->Items.Lines(), (std::vector<std::string>{"update3.dat"}));
  EXPECT_TRUE(form->Button1->Enabled()) << "the window's design starts it enabled";
  SetUpdateArmed(form->Engine, false);
  EXPECT_FALSE(form->Button1->Enabled());
  ShowStartGame(form->Engine);
  EXPECT_TRUE(form->Image3->Visible());
}

TEST_F(Form1Test, MissingConfigurationGivesEmptyValues) {
  folder.WriteAllSkins();
  TForm1* form = CreateForm1();
  EXPECT_TRUE(form->Engine.StartPending);
  EXPECT_EQ(form->Engine.FtpConfig.HomePageUrl, "");
  EXPECT_EQ(form->Engine.FtpConfig.AccountUrl, "");
  EXPECT_EQ(form->Engine.FtpConfig.GameExeFile, "");
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(Form1Test, EachMissingSkinIsNamedAndStopsTheStartUp) {
  for (const char* skin : test_support::GameFolder::kMainWindowSkins) {
    SCOPED_TRACE(skin);
    test_support::GameFolder game;
    game.WriteAllSkins();
    const std::string real = game.RealPath(skin);
    ASSERT_EQ(std::remove(real.c_str()), 0);
    backend.boxes.clear();
    backend.navigations.clear();
    auto* form = Application.CreateForm<TForm1>(game.path());
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].text, "Cannot open file " + real);
    EXPECT_EQ(backend.boxes[0].icon, vcl::MessageIcon::kError);
    EXPECT_FALSE(form->Engine.StartPending);
    EXPECT_TRUE(backend.navigations.empty()) << "later steps are skipped";
    delete form;
  }
}

TEST_F(Form1Test, LanguageLetters) {
  EXPECT_EQ(LangLetterFor(4, 1), 't');
  EXPECT_EQ(LangLetterFor(4, 3), 't');
  EXPECT_EQ(LangLetterFor(4, 5), 't');
  EXPECT_EQ(LangLetterFor(4, 2), 's');
  EXPECT_EQ(LangLetterFor(4, 4), 's');
  EXPECT_EQ(LangLetterFor(9, 1), 'n');
  EXPECT_EQ(LangLetterFor(0x11, 1), 'n');
  const std::pair<const char*, const char*> cases[] = {
      {"zh_TW.UTF-8", "t"}, {"zh_HK", "t"}, {"zh_MO.BIG5", "t"}, {"zh_CN.GB2312", "s"},
      {"zh_SG", "s"},       {"ja_JP", "n"}, {"C", "n"},          {"en_GB", "n"}};
  for (const auto& [locale_name, letter] : cases) {
    SCOPED_TRACE(locale_name);
    ScopedLocale scoped(locale_name);
    EXPECT_EQ(GetLangLetter(), letter);
  }
}

TEST_F(Form1Test, CloseSavesTheRecordOnlyWhenItExists) {
  folder.WriteAllSkins();
  folder.Write("update2.dat", "old record\r\n");
  {
    SCOPED_TRACE("no comparison yet: update2.dat untouched");
    TForm1* form = CreateForm1();
    form->Close();
    EXPECT_EQ(folder.Read("update2.dat"), "old record\r\n");
    EXPECT_TRUE(halt_codes.empty());
    EXPECT_TRUE(Application.Terminated());
    Application.Shutdown();
  }
  {
    SCOPED_TRACE("after the comparison: rewritten and released");
    TForm1* form = CreateForm1();
    form->Engine.RecordList = LineList{"AVWSEN", "Data\\a.dat 3"};
    form->Engine.PendingList = LineList{};
    form->Engine.ServerList = LineList{"x"};
    form->Close();
    EXPECT_EQ(folder.Read("update2.dat"), "AVWSEN\r\nData\\a.dat 3\r\n");
    EXPECT_FALSE(form->Engine.RecordList || form->Engine.PendingList || form->Engine.ServerList);
    EXPECT_TRUE(halt_codes.empty()) << "not connected: the close goes on normally";
    folder.Write("update2.dat", "changed\r\n");
    form->Close();
    EXPECT_EQ(folder.Read("update2.dat"), "changed\r\n") << "a second close saves nothing";
    Application.Shutdown();
  }
  {
    SCOPED_TRACE("connected: the process ends at once after saving");
    TForm1* form = CreateForm1();
    form->Engine.RecordList = LineList{"AVWSEN", ""};
    form->Engine.IsConnected = true;
    form->Close();
    EXPECT_EQ(folder.Read("update2.dat"), "AVWSEN\r\n\r\n");
    EXPECT_EQ(halt_codes, std::vector<int>{0});
  }
}

TEST_F(Form1Test, AnUnpackedFileThatCannotBeClosedEndsTheUpdaterAfterItsBox) {
  folder.WriteAllSkins();
  TForm1* form = CreateForm1();
  backend.boxes.clear();
  form->Gzip.FileSource = folder.Write("file.txt.gz", "plain data");
  form->Gzip.FileDestination = folder.path() + "file.txt";
  form->Gzip.CloseDestination = [](platform::OutputFile& file) {
    (void)file.Close();
    return EIO;
  };
  EXPECT_NE(form->Gzip.Unpack(), TGzip::kUnpacked);
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Can't close file " + folder.path() + "file.txt");
  EXPECT_EQ(halt_codes, std::vector<int>{1});
}

TEST_F(Form1Test, ExitQuestion) {
  folder.WriteAllSkins();
  TForm1* form = CreateForm1();
  {
    SCOPED_TRACE("No changes nothing");
    backend.box_answers = {IDNO};
    Press(*form, TMouseButton::mbLeft, 551 + 5, 552 + 5);
    form->MouseUp(TMouseButton::mbLeft, {}, 551 + 5, 552 + 5);
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].text, "Are you sure to exit ?");
    EXPECT_EQ(backend.boxes[0].buttons.size(), 2u);
    EXPECT_FALSE(form->Engine.ExitRequested);
    EXPECT_FALSE(Application.Terminated());
    EXPECT_EQ(form->Label3->Caption(), "");
    EXPECT_EQ(form->Image4->PictureFile(), folder.RealPath("Ftp\\FTP_cool_d_D_001b.bmp"));
  }
  const std::pair<char, std::string> questions[] = {
      {'t', "\xA7\x41\xBD\x54\xA9\x77\xAD\x6E\xC2\xF7\xB6\x7D\xB6\xDC?"},  // 你確定要離開嗎?
      {'s', "\xC4\xE3\xC8\xB7\xB6\xA8\xD2\xAA\xC0\xEB\xBF\xAA\xC2\xF0?"},  // 你确定要离开吗?
      {'n', "Are you sure to exit ?"}};
  for (const auto& [letter, question] : questions) {
    SCOPED_TRACE(letter);
    backend.boxes.clear();
    backend.box_answers = {IDYES};
    form->Engine.ExitRequested = false;
    form->Engine.LangLetter = letter;
    form->Button4Click();
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].text, question);
    EXPECT_EQ(form->Label3->Caption(), "please wait...");
    EXPECT_EQ(form->Label3->Left(), 119 + (394 - 14 * 8) / 2);
    EXPECT_TRUE(form->Engine.ExitRequested);
    EXPECT_TRUE(Application.Terminated());
  }
}

}  // namespace
