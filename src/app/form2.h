// TForm2: the server choice dialog. It lists the display names of
// "isp0.dat" and "Other", preselects the entry remembered in "isp1.dat"
// (or the second entry), and shows itself modally while it is created.
// Confirming stores the choice, moves the main window to the dialog's place
// and closes the dialog. The object stays alive, hidden, for the driver.
#pragma once

#include <string>
#include <vector>

#include "app/skin_form.h"
#include "vcl/form.h"
#include "vcl/image.h"
#include "vcl/list_box.h"

class TForm2 : public TForm {
 public:
  // main_form: the window whose position the dialog takes and sets.
  // exe_dir: the updater's folder, a real path ending in '/'. The
  // constructor runs FormCreate, which returns when the dialog has closed;
  // a failure there is shown in the standard error box.
  TForm2(TForm& main_form, const std::string& exe_dir);
  ~TForm2() override;

  TSkinForm* SkinForm1 = nullptr;
  TListBox* ListBox1 = nullptr;  // display names, then "Other"; drawn in Big5
  TImage* Image1c = nullptr;     // confirm button
  TImage* Image1 = nullptr;      // title picture
  TListBox* ListBox2 = nullptr;  // lines of isp0.dat, end marker included
  TListBox* ListBox3 = nullptr;  // lines of isp1.dat

  void FormCreate();
  void Image1cMouseDown();
  void Image1cMouseUp();

  // What the update check reads after the dialog closed.
  int ItemIndex() const { return ListBox1->ItemIndex(); }
  int Count() const { return ListBox1->Items.Count(); }
  std::vector<std::string> ServerLines() const { return ListBox2->Items.Lines(); }

 private:
  std::string GamePath(const std::string& windows_name) const;

  TForm& main_form_;
  const std::string exe_dir_;
};
