#include "app/form2.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "locale_env.h"
#include "mask2_payload.h"
#include "skin_design_data.h"
#include "support/game_folder.h"
#include "support/headless_app.h"

namespace {

constexpr char kThreeServers[] =
    "North 10.0.0.1 21 30000 guest\r\n"
    "\xA5\x5F\xB3\xA1 10.0.0.2 2121 30000 guest\r\n"  // 北部, a Big5 display name
    "South 10.0.0.3 21 30000 guest\r\n"
    "end\r\n";

class Form2Test : public test_support::HeadlessAppTest {
 protected:
  Form2Test() : locale("en_US") {
    folder.WriteAllSkins();
    main_form.SetBounds(40, 30, 924, 680);
  }

  // Creates the dialog; `on_shown` runs when it shows modally (then it is
  // closed unless the callback confirmed it).
  TForm2* CreateDialog(std::function<void(TForm2&)> on_shown = nullptr) {
    backend.on_modal_shown = [this, on_shown](TForm& form) {
      ++modal_shows;
      auto& dialog = dynamic_cast<TForm2&>(form);
      if (on_shown) on_shown(dialog);
      if (dialog.InModalLoop() && dialog.ModalResult() == mrNone) dialog.Close();
    };
    dialog_ = std::make_unique<TForm2>(main_form, folder.path());
    return dialog_.get();
  }

  // Presses and releases the confirm button with `button`.
  static void Confirm(TForm2& dialog, TMouseButton button) {
    dialog.MouseDown(button, {}, 322 + 3, 554 + 3);
    dialog.MouseUp(button, {}, 322 + 3, 554 + 3);
  }

  ScopedLocale locale;
  test_support::GameFolder folder;
  TForm main_form{nullptr};
  int modal_shows = 0;

 private:
  std::unique_ptr<TForm2> dialog_;
};

TEST_F(Form2Test, FirstStartPreselectsTheSecondEntryAndConfirmStoresIt) {
  folder.Write("isp0.dat", kThreeServers);
  TForm2* dialog = CreateDialog([](TForm2& d) {
    d.SetBounds(100, 90, d.Width(), d.Height());  // dragged elsewhere
    Confirm(d, TMouseButton::mbLeft);
  });
  EXPECT_TRUE(backend.boxes.empty());
  EXPECT_EQ(modal_shows, 1);
  EXPECT_EQ(dialog->ListBox1->Items.Lines(),
            (std::vector<std::string>{"North", "\xA5\x5F\xB3\xA1", "South", "Other"}));
  EXPECT_EQ(dialog->ItemIndex(), 1);
  EXPECT_EQ(dialog->Count(), 4);
  EXPECT_EQ(dialog->ServerLines().size(), 4u);
  EXPECT_EQ(dialog->ServerLines().back(), "end");
  EXPECT_EQ(folder.Read("isp1.dat"), "1\r\n");
  EXPECT_FALSE(dialog->Visible());
  EXPECT_FALSE(dialog->Image1c->Visible());
  EXPECT_EQ(main_form.Left(), 100) << "the main window goes where the dialog was";
  EXPECT_EQ(main_form.Top(), 90);
  EXPECT_EQ(backend.shapes[dialog].size(), StoredRectCount(Form2StoredMask2()));
}

TEST_F(Form2Test, RememberedChoiceAndRightButtonConfirm) {
  folder.Write("isp0.dat", kThreeServers);
  folder.Write("isp1.dat", "3\r\n");
  TForm2* dialog = CreateDialog([](TForm2& d) {
    EXPECT_EQ(d.ItemIndex(), 3);
    EXPECT_EQ(d.Left(), 40) << "opens at the main window's place";
    Confirm(d, TMouseButton::mbRight);
  });
  EXPECT_EQ(dialog->ItemIndex(), 3);
  EXPECT_EQ(folder.Read("isp1.dat"), "3\r\n");
}

// The list draws in Big5 whatever the language, so its texts are Big5:
// the names as stored, and "Other" in Big5 for both kinds of Chinese.
TEST_F(Form2Test, OtherFollowsTheLanguageButNamesAreShownAsStored) {
  folder.Write("isp0.dat", kThreeServers);
  const std::pair<const char*, std::string> cases[] = {
      {"zh_TW.UTF-8", "\xA8\xE4\xA5\xA6"},  // 其它
      {"zh_CN.UTF-8", "\xA8\xE4\xA5\xA6"},  // 其它, not its GB2312 form
      {"de_DE", "Other"}};
  for (const auto& [locale_name, other] : cases) {
    SCOPED_TRACE(locale_name);
    ScopedLocale scoped(locale_name);
    TForm2* dialog = CreateDialog();
    EXPECT_EQ(dialog->ListBox1->Items[3], other);
    EXPECT_EQ(dialog->ListBox1->Items[1], "\xA5\x5F\xB3\xA1");
    EXPECT_EQ(dialog->ListBox1->Font.charset, "BIG5");
  }
}

TEST_F(Form2Test, OnlyTheEndMarkerGivesJustOther) {
  folder.Write("isp0.dat", "end\r\n");
  TForm2* dialog = CreateDialog();
  EXPECT_EQ(dialog->ListBox1->Items.Lines(), std::vector<std::string>{"Other"});
  EXPECT_EQ(dialog->ItemIndex(), -1);
  EXPECT_EQ(modal_shows, 1);
}

TEST_F(Form2Test, FailureRows) {
  {
    SCOPED_TRACE("isp0.dat missing: error box, no dialog, empty list");
    TForm2* dialog = CreateDialog();
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].text, "Cannot open file " + folder.path() + "isp0.dat");
    EXPECT_EQ(modal_shows, 0);
    EXPECT_EQ(dialog->Count(), 0);
    EXPECT_EQ(dialog->ItemIndex(), -1);
  }
  {
    SCOPED_TRACE("isp0.dat not readable (a folder): the same box as a missing file");
    backend.boxes.clear();
    std::filesystem::create_directory(folder.RealPath("isp0.dat"));
    TForm2* dialog = CreateDialog();
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].text, "Cannot open file " + folder.path() + "isp0.dat");
    EXPECT_EQ(modal_shows, 0);
    EXPECT_EQ(dialog->Count(), 0);
    std::filesystem::remove(folder.RealPath("isp0.dat"));
  }
  folder.Write("isp0.dat", kThreeServers);
  const std::pair<const char*, std::string> bad_choices[] = {
      {"", "List index out of bounds (0)"},
      {"two\r\n", "'two' is not a valid integer value"}};
  for (const auto& [content, message] : bad_choices) {
    SCOPED_TRACE(message);
    backend.boxes.clear();
    modal_shows = 0;
    folder.Write("isp1.dat", content);
    TForm2* dialog = CreateDialog();
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].text, message);
    EXPECT_EQ(modal_shows, 0);
    EXPECT_EQ(dialog->Count(), 4) << "the list keeps its entries";
    EXPECT_EQ(dialog->ItemIndex(), -1);
  }
  {
    SCOPED_TRACE("index out of range: nothing selected, confirming stores -1");
    backend.boxes.clear();
    folder.Write("isp1.dat", "7\r\n");
    TForm2* dialog = CreateDialog([](TForm2& d) {
      EXPECT_EQ(d.ItemIndex(), -1);
      Confirm(d, TMouseButton::mbLeft);
    });
    EXPECT_TRUE(backend.boxes.empty());
    EXPECT_EQ(dialog->ItemIndex(), -1);
    EXPECT_EQ(folder.Read("isp1.dat"), "-1\r\n");
  }
  {
    SCOPED_TRACE("read-only isp1.dat: kept as it is, silent, the choice still holds");
    folder.Write("isp1.dat", "0\r\n");
    std::filesystem::permissions(folder.RealPath("isp1.dat"), std::filesystem::perms::owner_read |
                                                                  std::filesystem::perms::group_read);
    TForm2* dialog = CreateDialog([](TForm2& d) {
      EXPECT_EQ(d.ItemIndex(), 0);
      d.ListBox1->SetItemIndex(2);
      Confirm(d, TMouseButton::mbLeft);
    });
    EXPECT_TRUE(backend.boxes.empty());
    EXPECT_EQ(dialog->ItemIndex(), 2);
    EXPECT_EQ(folder.Read("isp1.dat"), "0\r\n");
  }
  {
    SCOPED_TRACE("isp1.dat cannot be written: silent, the choice still holds");
    std::filesystem::remove(folder.RealPath("isp1.dat"));
    std::filesystem::create_directory(folder.RealPath("isp1.dat"));
    TForm2* dialog = CreateDialog([](TForm2& d) {
      d.ListBox1->SetItemIndex(2);
      Confirm(d, TMouseButton::mbLeft);
    });
    EXPECT_TRUE(backend.boxes.empty());
    EXPECT_EQ(dialog->ItemIndex(), 2);
    EXPECT_FALSE(dialog->Visible());
  }
}

}  // namespace
