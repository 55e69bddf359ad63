// Controls: components with a place on a form. A control joins its form's
// z-order when its parent is set (later controls lie over earlier ones) and
// reports every change of its look to the form so the backend repaints.
#pragma once

#include <functional>

#include "vcl/backend.h"
#include "vcl/component.h"
#include "vcl/placement.h"

class TForm;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Modifier and button state with a mouse event (a subset of the framework's set).
struct TShiftState {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

// What a backend paints for a control (see TForm::PaintList).
enum class ControlKind {
  kImage, kLabel, kGauge, kListBox, kButton, kStatusBar, kWebBrowser
};

using TMouseEvent =
    std::function<void(TMouseButton button, TShiftState shift, int x, int y)>;
using TNotifyEvent = std::function<void()>;

class TControl : public TComponent, public TPlacement {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  virtual ControlKind Kind() const = 0;

  // Places the control on `form` (nullptr removes it) at the top of its
  // z-order.
  virtual void SetParent(TForm* form);
  TForm* Parent() const { return parent_; }

  // Every geometry change goes through here, so a class may refuse parts.
  void SetBounds(int left, int top, int width, int height) override;

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Events; an empty one is skipped. x and y are relative to the control.
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnClick;

  // Input as the form routes it (coordinates relative to the control).
  // Handlers may pump messages and may throw; the form reports the error.
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void Click();

  // Asks the backend to repaint the form this control is on.
  void Invalidate();

 protected:
  // Called after the geometry, visibility or parent changed.
  virtual void Changed();

 private:
  TForm* parent_ = nullptr;
  bool visible_ = true;
  bool enabled_ = true;
};
