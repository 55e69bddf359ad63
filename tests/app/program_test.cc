#include "app/program.h"

#include <gtest/gtest.h>

#include "app/form1.h"
#include "app/form2.h"
#include "locale_env.h"
#include "platform/event_loop.h"
#include "support/game_folder.h"
#include "support/headless_app.h"

namespace {

class ProgramTest : public test_support::HeadlessAppTest {
 protected:
  ProgramTest() : locale("en_US") { folder.WriteAllSkins(); }
  ScopedLocale locale;
  test_support::GameFolder folder;
};

TEST_F(ProgramTest, AnotherInstanceIsActivatedInstead) {
  backend.existing_window_titles = {"Zkftpup"};
  bool created = false;
  EXPECT_FALSE(RunUpdater(backend, folder.path(), {[&](TForm1&) { created = true; }, nullptr}));
  EXPECT_FALSE(created);
  EXPECT_EQ(backend.activated_titles, std::vector<std::string>{"Zkftpup"});
  EXPECT_TRUE(backend.shown_forms.empty());
}

TEST_F(ProgramTest, DialogFirstThenMainWindowUntilItCloses) {
  backend.existing_window_titles = {"Vortftpup", "update"};
  folder.Write("isp0.dat", "A h 21 1000 u\r\nB h 21 1000 u\r\nend\r\n");
  std::vector<std::string> order;
  backend.on_modal_shown = [&](TForm& form) {
    order.push_back(form.Name + " modal");
    form.SetBounds(5, 6, form.Width(), form.Height());
    form.MouseDown(TMouseButton::mbLeft, {}, 325, 557);
    form.MouseUp(TMouseButton::mbLeft, {}, 325, 557);
  };
  ServerChoice choice;
  UpdaterRunHooks hooks;
  hooks.attach_engine = [&](TForm1& form1) {
    order.push_back("attach");
    form1.Timer1->SetInterval(5);  // the test need not wait a second per tick
    form1.Hooks.Timer1Timer = [&form1, &order, &choice] {
      if (!form1.Engine.ShowPending) return;
      order.push_back("tick");
      choice = form1.ReadServerChoice();
      form1.CloseMainWindow();
    };
  };
  hooks.forms_created = [&](TForm1& form1, TForm2&) {
    order.push_back("created");
    EXPECT_EQ(form1.Left(), 5);
    EXPECT_FALSE(form1.Visible());
    EXPECT_EQ(Application.Title, "Vortftpup");
  };
  EXPECT_TRUE(RunUpdater(backend, folder.path(), hooks));
  EXPECT_EQ(order, (std::vector<std::string>{"attach", "Form2 modal", "created", "tick"}));
  EXPECT_EQ(choice.ItemIndex, 1);
  EXPECT_EQ(choice.Count, 3);
  EXPECT_EQ(choice.ServerLines.size(), 3u);
  EXPECT_EQ(Application.MainForm(), nullptr) << "the windows are gone";
}

}  // namespace
