#include "vcl/form.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/event_loop.h"
#include "support/headless_app.h"
#include "vcl/image.h"
#include "vcl/label.h"

namespace {

class FormTest : public test_support::HeadlessAppTest {
 protected:
  TImage* AddImage(const std::string& name, int left, int top, int width, int height) {
    auto* image = new TImage(&form);
    image->Name = name;
    image->SetParent(&form);
    image->SetBounds(left, top, width, height);
    image->OnMouseDown = [this, name](TMouseButton, TShiftState, int x, int y) {
      log.push_back(name + " down " + std::to_string(x) + "," + std::to_string(y));
    };
    image->OnMouseUp = [this, name](TMouseButton, TShiftState, int x, int y) {
      log.push_back(name + " up " + std::to_string(x) + "," + std::to_string(y));
    };
    image->OnClick = [this, name] { log.push_back(name + " click"); };
    return image;
  }

  TForm form{nullptr};
  std::vector<std::string> log;
};

TEST_F(FormTest, TopmostVisibleEnabledControlGetsTheMouse) {
  TImage* back = AddImage("back", 0, 0, 200, 200);
  TImage* lower = AddImage("lower", 10, 10, 50, 50);
  TImage* upper = AddImage("upper", 11, 10, 50, 50);  // created later: lies over `lower`
  EXPECT_EQ(form.ControlAtPos(30, 30), upper);
  EXPECT_EQ(form.ControlAtPos(10, 30), lower) << "only `lower` covers x = 10";
  EXPECT_EQ(form.ControlAtPos(100, 100), back);
  EXPECT_EQ(form.ControlAtPos(200, 100), nullptr) << "right edge is exclusive";
  upper->SetVisible(false);
  EXPECT_EQ(form.ControlAtPos(30, 30), lower);
  lower->SetEnabled(false);
  EXPECT_EQ(form.ControlAtPos(30, 30), back) << "a disabled control lets the mouse through";
  const std::vector<TControl*> painted = form.PaintList();
  EXPECT_EQ(painted, (std::vector<TControl*>{back, lower})) << "visible controls, bottom first";
}

TEST_F(FormTest, PressedControlGetsTheReleaseAndClickNeedsLeftInside) {
  AddImage("a", 0, 0, 50, 50);
  AddImage("b", 100, 0, 50, 50);
  {
    SCOPED_TRACE("release elsewhere goes to the pressed control, no click");
    form.MouseDown(TMouseButton::mbLeft, {}, 10, 10);
    form.MouseUp(TMouseButton::mbLeft, {}, 120, 10);
    EXPECT_EQ(log, (std::vector<std::string>{"a down 10,10", "a up 120,10"}));
  }
  log.clear();
  {
    SCOPED_TRACE("left press and release inside: click, then the up event");
    form.MouseDown(TMouseButton::mbLeft, {}, 110, 5);
    form.MouseUp(TMouseButton::mbLeft, {}, 111, 6);
    EXPECT_EQ(log, (std::vector<std::string>{"b down 10,5", "b click", "b up 11,6"}));
  }
  log.clear();
  {
    SCOPED_TRACE("right button: down and up, never a click");
    form.MouseDown(TMouseButton::mbRight, {}, 110, 5);
    form.MouseUp(TMouseButton::mbRight, {}, 110, 5);
    EXPECT_EQ(log, (std::vector<std::string>{"b down 10,5", "b up 10,5"}));
  }
  log.clear();
  {
    SCOPED_TRACE("a release with nothing pressed goes nowhere");
    form.MouseUp(TMouseButton::mbLeft, {}, 10, 10);
    form.MouseDown(TMouseButton::mbLeft, {}, 300, 300);
    form.MouseUp(TMouseButton::mbLeft, {}, 10, 10);
    EXPECT_TRUE(log.empty());
  }
}

TEST_F(FormTest, HandlerErrorIsShownInTheErrorBox) {
  Application.Title = "Vortftpup";
  TImage* image = AddImage("a", 0, 0, 50, 50);
  image->OnMouseDown = [](TMouseButton, TShiftState, int, int) {
    throw EFOpenError("Cannot open file /x/y.bmp");
  };
  form.MouseDown(TMouseButton::mbLeft, {}, 1, 1);
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Cannot open file /x/y.bmp");
  EXPECT_EQ(backend.boxes[0].caption, "Vortftpup");
  EXPECT_EQ(backend.boxes[0].icon, vcl::MessageIcon::kError);
  form.MouseUp(TMouseButton::mbLeft, {}, 1, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"a click", "a up 1,1"}))
      << "the capture still holds after a failed down handler";
}

TEST_F(FormTest, ShowModalRunsUntilClosedAndHides) {
  bool shown = false;
  form.OnShow = [&] { shown = true; };
  backend.on_modal_shown = [](TForm& f) {
    platform::PostMessage([&f] { f.Close(); });
  };
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(form.Visible());
  EXPECT_FALSE(form.InModalLoop());
  ASSERT_EQ(backend.shown_forms.size(), 1u);
}

TEST_F(FormTest, CloseActionNoneKeepsTheModalLoopRunning) {
  int closes = 0;
  form.OnClose = [&](TCloseAction& action) {
    if (++closes == 1) action = TCloseAction::caNone;
  };
  backend.on_modal_shown = [](TForm& f) {
    platform::PostMessage([&f] {
      f.Close();
      platform::PostMessage([&f] { f.Close(); });
    });
  };
  form.ShowModal();
  EXPECT_EQ(closes, 2);
}

TEST_F(FormTest, ClosingTheMainFormTerminatesTheApplication) {
  TForm* main_form = Application.CreateForm<TForm>(nullptr);
  TForm* other = Application.CreateForm<TForm>(nullptr);
  EXPECT_EQ(Application.MainForm(), main_form);
  other->Show();
  other->Close();
  EXPECT_FALSE(other->Visible());
  EXPECT_FALSE(Application.Terminated());
  main_form->Close();
  EXPECT_TRUE(Application.Terminated());
}

TEST_F(FormTest, HaltEndsOnlyThroughTheInstalledHandler) {
  Application.Halt(3);
  EXPECT_EQ(halt_codes, std::vector<int>{3});
  Application.SetHaltHandler(nullptr);
  EXPECT_THROW(Application.Halt(1), std::logic_error) << "the library itself never ends the process";
}

TEST_F(FormTest, FailingCloseFromTheWindowSystemIsReportedAndTheWindowStays) {
  TForm* main_form = Application.CreateForm<TForm>(nullptr);
  main_form->OnClose = [](TCloseAction&) { throw EFOpenError("Cannot create file /ro/update2.dat"); };
  main_form->CloseRequested();
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Cannot create file /ro/update2.dat");
  EXPECT_FALSE(Application.Terminated());
}

TEST_F(FormTest, OwnerReleasesOwnedComponentsAndEarlyReleaseDetaches) {
  auto* owner = new TComponent(nullptr);
  auto* first = new TLabel(owner);
  auto* second = new TLabel(owner);
  first->SetParent(&form);
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete second;
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(owner->Components(0), first);
  delete owner;  // releases `first`, which leaves the form's z-order
  EXPECT_TRUE(form.Controls().empty());
}

TEST_F(FormTest, ResizeEventOnlyForSizeChanges) {
  int resizes = 0;
  form.OnResize = [&] { ++resizes; };
  form.SetBounds(10, 10, 100, 100);
  form.SetLeft(-62);
  EXPECT_EQ(resizes, 1);
  EXPECT_EQ(form.Left(), -62);
}

}  // namespace
