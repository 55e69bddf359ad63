#include "app/form2.h"

#include "app/form1.h"
#include "texts/texts.h"
#include "platform/errors.h"
#include "platform/file_probe.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "skin_design_data.h"
#include "lists/list_file.h"

namespace {

constexpr char kReleasedLook[] = "FTP\\FTP_cool_e_D_001b.bmp";
constexpr char kPressedLook[] = "FTP\\FTP_cool_e_H_001b.bmp";

}  // namespace

TForm2::TForm2(TForm& main_form, const std::string& exe_dir)
    : TForm(nullptr), main_form_(main_form), exe_dir_(exe_dir) {
  Name = "Form2";
  SetBounds(0, 0, 924, 680);

  SkinForm1 = new TSkinForm(this);
  SkinForm1->SetParent(this);
  SkinForm1->SetBounds(0, 0, 924, 644);
  SkinForm1->ReadMask2(Form2StoredMask2());

  ListBox1 = new TListBox(this);
  ListBox1->SetParent(this);
  ListBox1->SetBounds(116, 221, 399, 305);
  // Big5 whatever the language: the display names of isp0.dat are stored so.
  ListBox1->Font = {"Fixedsys", 16, vcl::kBlack, "BIG5"};

  Image1c = new TImage(this);
  Image1c->SetParent(this);
  Image1c->SetBounds(322, 554, 36, 24);
  Image1c->OnMouseDown = [this](TMouseButton, TShiftState, int, int) { Image1cMouseDown(); };
  Image1c->OnMouseUp = [this](TMouseButton, TShiftState, int, int) { Image1cMouseUp(); };

  Image1 = new TImage(this);
  Image1->SetParent(this);
  Image1->SetBounds(188, 160, 261, 61);

  ListBox2 = new TListBox(this);
  ListBox3 = new TListBox(this);
  for (TListBox* hidden : {ListBox2, ListBox3}) {
    hidden->SetParent(this);
    hidden->SetVisible(false);
  }

  OnCreate = [this] { FormCreate(); };
  DoCreate();
}

TForm2::~TForm2() { DoDestroy(); }

std::string TForm2::GamePath(const std::string& windows_name) const {
  return platform::ResolveGameFileName(exe_dir_, windows_name);
}

void TForm2::FormCreate() {
  SetBounds(main_form_.Left(), main_form_.Top(), 924, 680);
  SkinForm1->LoadFromFile(GamePath("FTP\\FTP_ORVEL_003b.bmp"));
  SkinForm1->SetBounds(0, 0, 924, 644);
  Image1c->SetBounds(322, 554, 36, 24);
  Image1c->LoadFromFile(GamePath(kReleasedLook));
  ListBox1->SetBounds(116, 221, 399, 305);

  ListBox2->Items.LoadFromFile(GamePath("isp0.dat"));
  const int lines = ListBox2->Items.Count();
  if (lines >= 2)
    for (int i = 0; i < lines - 1; ++i) ListBox1->Items.Add(LineField(ListBox2->Items[i], 1));
  // The list draws in Big5, so "Other" keeps its Big5 text on a
  // simplified-Chinese system too (its GB2312 form would draw garbled).
  const char letter = GetLangLetter()[0];
  ListBox1->Items.Add(SelectText(kOtherServer, letter == 's' ? 't' : letter));

  const std::string choice_file = GamePath("isp1.dat");
  if (platform::FileExists(choice_file)) {
    ListBox3->Items.LoadFromFile(choice_file);
    ListBox1->SetItemIndex(platform::StrToInt(ListBox3->Items[0]));
  } else {
    ListBox1->SetItemIndex(1);
  }
  ShowModal();
}

void TForm2::Image1cMouseDown() { Image1c->LoadFromFile(GamePath(kPressedLook)); }

void TForm2::Image1cMouseUp() {
  Image1c->LoadFromFile(GamePath(kReleasedLook));
  Image1c->SetVisible(false);
  // A read-only isp1.dat is left as it is: replacing it through a new file
  // would get round the protection.
  const std::string choice_file = GamePath("isp1.dat");
  if (platform::ProbeFileForWriting(choice_file).state != platform::FileProbe::State::kBusy) {
    try {
      platform::WriteFileAtomically(choice_file, std::to_string(ItemIndex()) + "\r\n");
    } catch (const Exception&) {
      // A choice that cannot be stored is still used for this run; the
      // dialog does not report it.
    }
  }
  main_form_.SetBounds(Left(), Top(), main_form_.Width(), main_form_.Height());
  Close();
}
