#include "app/program.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "app/form1.h"
#include "app/form2.h"
#include "locale_env.h"
#include "platform/event_loop.h"
#include "platform/folder_lock.h"
#include "support/ftp_servers.h"
#include "support/game_folder.h"
#include "support/headless_app.h"
#include "support/loopback_port.h"
#include "support/temp_folder.h"

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
  EXPECT_EQ(RunUpdater(backend, folder.path(), {[&](TForm1&) { created = true; }, nullptr, nullptr}), UpdaterRunEnd::kOtherInstanceActivated);
  EXPECT_FALSE(created);
  EXPECT_EQ(backend.activated_titles, std::vector<std::string>{"Zkftpup"});
  EXPECT_TRUE(backend.shown_forms.empty());
}

// The second of two runs in one folder touches nothing there: no window,
// no dialog (which would write "isp1.dat"), one box naming the holder.
TEST_F(ProgramTest, AFolderAnotherRunHoldsIsLeftAloneAndItsHolderNamed) {
  const platform::FolderLock other_run(folder.path() + "update.lck");
  ASSERT_TRUE(other_run.Held());
  folder.Write("isp0.dat", "A h 21 1000 u\r\nend\r\n");
  const auto before = std::distance(std::filesystem::directory_iterator(folder.path()), {});
  bool created = false;
  EXPECT_EQ(RunUpdater(backend, folder.path(), {[&](TForm1&) { created = true; }, nullptr, nullptr}),
            UpdaterRunEnd::kFolderTaken);
  EXPECT_FALSE(created);
  EXPECT_TRUE(backend.shown_forms.empty());
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "The game folder " + folder.path() + " is being updated by process " +
                                       std::to_string(getpid()) + "; wait for it to end.");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), before);
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
      EXPECT_FALSE(platform::FolderLock(form1.Engine.ExeDir + "update.lck").Held()) << "the run holds its folder";
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
  EXPECT_EQ(RunUpdater(backend, folder.path(), hooks), UpdaterRunEnd::kRan);
  EXPECT_EQ(order, (std::vector<std::string>{"attach", "Form2 modal", "created", "tick"}));
  EXPECT_EQ(choice.ItemIndex, 1);
  EXPECT_EQ(choice.Count, 3);
  EXPECT_EQ(choice.ServerLines.size(), 3u);
  EXPECT_EQ(Application.MainForm(), nullptr) << "the windows are gone";
  EXPECT_TRUE(platform::FolderLock(folder.path() + "update.lck").Held()) << "and the folder released";
}

// The forced-update button acts only once a check has compared the lists:
// pressed while the check connects, or after no server was found, it asks
// nothing, leaves the record on disk as it was (closing writes it back
// byte for byte, never empty) and the count shown is the comparison's.
TEST_F(ProgramTest, ForcedUpdateBeforeTheComparisonChangesNothing) {
  test_support::TempFolder served;
  served.Write("update3.dat", "GAME\r\nO A.txt A.txt 2 1\r\nO B.txt B.txt 1 1\r\n");
  std::unique_ptr<test_support::FtpServer> server;
  try {
    server = test_support::FtpServer::Start(test_support::FtpServerKind::kPyftpdlib, served.path());
  } catch (const std::exception& e) {
    GTEST_SKIP() << "no FTP server: " << e.what();
  }
  const std::string record = "AVWSEN\r\n\r\nA.txt 1\r\nB.txt 1\r\n";
  struct Case {
    const char* name;
    int port;
    const char* earlier_list;   // update3.dat left by an earlier run, or null
    bool press_while_connecting;  // else once the check has ended
    CheckOutcome outcome;
    int pending;
  } cases[] = {
      {"while connecting", server->port(), "GAME\r\nO A.txt A.txt 1 1\r\nO B.txt B.txt 1 1\r\n", true,
       CheckOutcome::kUpdatesReady, 1},
      {"after no server", test_support::ClosedLoopbackPort(), nullptr, false, CheckOutcome::kNoServer, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::GameFolder game;
    game.WriteAllSkins();
    game.Write("isp0.dat", "Local 127.0.0.1 " + std::to_string(c.port) + " 10000 anonymous\r\nend\r\n");
    game.Write("update2.dat", record);
    if (c.earlier_list != nullptr) game.Write("update3.dat", c.earlier_list);
    backend.boxes.clear();
    // A question, had it come, would be answered Yes.
    backend.default_box_answer = IDYES;
    backend.on_modal_shown = [](TForm& dialog) {
      dialog.MouseDown(TMouseButton::mbLeft, {}, 325, 557);
      dialog.MouseUp(TMouseButton::mbLeft, {}, 325, 557);
    };
    std::optional<CheckOutcome> outcome;
    int pending_at_end = -1;
    std::string status_at_end;
    UpdaterRunHooks hooks;
    hooks.attach_engine = [&](TForm1& form1) {
      form1.Timer1->SetInterval(5);
      const auto press_forced_update = [&form1] {
        form1.MouseDown(TMouseButton::mbLeft, {}, 240, 560);
        form1.MouseUp(TMouseButton::mbLeft, {}, 240, 560);
      };
      form1.OnStatusText = [&, press_forced_update](const std::string& text) {
        if (c.press_while_connecting && text == "connecting...") press_forced_update();
      };
      form1.OnCheckEnded = [&, press_forced_update](CheckOutcome ended) {
        outcome = ended;
        if (!c.press_while_connecting) press_forced_update();
        pending_at_end = form1.ListBox1->Items.Count();
        status_at_end = form1.Label3->Caption();
        EXPECT_EQ(game.Read("update2.dat"), record) << "the record on disk after the check";
        platform::PostMessage([&form1] { form1.Close(); });
      };
    };
    ASSERT_EQ(RunUpdater(backend, game.path(), hooks), UpdaterRunEnd::kRan);
    EXPECT_EQ(outcome, c.outcome);
    for (const vcl::MessageBoxRequest& box : backend.boxes)
      EXPECT_NE(box.icon, vcl::MessageIcon::kQuestion) << "asked: " << box.text;
    EXPECT_EQ(pending_at_end, c.pending);
    if (c.pending > 0) {
      EXPECT_EQ(status_at_end, std::to_string(c.pending) + "file remain to be updated");
    }
    EXPECT_EQ(game.Read("update2.dat"), record) << "the record on disk after closing";
  }
}

}  // namespace
