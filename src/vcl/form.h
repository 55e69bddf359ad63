// Top-level windows. A form keeps its controls in z-order (creation order:
// later over earlier), routes mouse input to the topmost visible, enabled
// control under the pointer, and gives the release to the control that got
// the press (mouse capture). ShowModal runs its own loop on the one message
// loop (platform::WaitForEvent) until the form is closed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "vcl/backend.h"
#include "vcl/component.h"
#include "vcl/placement.h"
#include "vcl/control.h"

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

class TForm : public TComponent, public TPlacement {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle style);

  // Fires OnResize when the size changed.
  void SetBounds(int left, int top, int width, int height) override;

  bool Visible() const { return visible_; }
  // Shows the window (OnShow runs when it becomes visible).
  void Show();
  void Hide();
  // Shows the window modally and pumps messages until it is closed (or the
  // application terminates); returns the modal result. Re-enters handlers.
  int ShowModal();
  bool InModalLoop() const { return modal_; }
  int ModalResult() const { return modal_result_; }
  // Ends a running modal loop with `result` (nonzero).
  void SetModalResult(int result) { modal_result_ = result; }
  // Closes the form: OnClose decides the action; the main form's close
  // terminates the application, another form is hidden.
  void Close();

  // Events; empty ones are skipped.
  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  std::function<void(TCloseAction& action)> OnClose;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnResize;

  // Controls on this form, bottom first.
  const std::vector<TControl*>& Controls() const { return controls_; }
  // The visible controls in z-order, bottom first: what a backend paints.
  std::vector<TControl*> PaintList() const;
  // Topmost visible and enabled control containing the form point, or null.
  TControl* ControlAtPos(int x, int y) const;

  // Input from the backend, in form coordinates. An exception from a
  // handler is shown in the application's error box.
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  // The user asked the window system to close the window. An exception
  // from the close handlers is shown in the error box (the window stays).
  void CloseRequested();

  TControl* Capture() const { return capture_; }
  // Forgets the pressed control (a window drag takes the mouse over).
  void ReleaseCapture() { capture_ = nullptr; }

  // Asks the backend to repaint this form.
  void Invalidate();

 protected:
  // Runs OnCreate; an exception is shown in the error box and ends it.
  // A derived form calls this at the end of its constructor.
  void DoCreate();
  // Runs OnDestroy once; a derived form calls this first in its destructor.
  void DoDestroy();

 private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);

  std::string caption_;
  TFormBorderStyle border_style_ = TFormBorderStyle::bsSizeable;
  bool visible_ = false;
  bool modal_ = false;
  int modal_result_ = mrNone;
  bool destroyed_ = false;
  std::vector<TControl*> controls_;
  TControl* capture_ = nullptr;
  TMouseButton capture_button_ = TMouseButton::mbLeft;
};
