#include "vcl/form.h"

#include <algorithm>
#include <exception>

#include "platform/event_loop.h"
#include "vcl/application.h"

TForm::TForm(TComponent* owner) : TComponent(owner) {}

TForm::~TForm() {
  DoDestroy();
  if (modal_) modal_result_ = mrCancel;
  // Controls refer back to this form, so release them while it is whole.
  DestroyComponents();
  for (TControl* control : std::vector<TControl*>(controls_)) control->SetParent(nullptr);
  Application.FormDestroyed(this);
  if (Application.HasBackend()) Application.Backend().DestroyForm(*this);
}

void TForm::SetCaption(const std::string& caption) {
  caption_ = caption;
  Application.Backend().FormBoundsChanged(*this);
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
  border_style_ = style;
  Application.Backend().FormBoundsChanged(*this);
}

void TForm::SetBounds(int left, int top, int width, int height) {
  const bool resized = width != Width() || height != Height();
  if (!StoreBounds(left, top, width, height)) return;
  Application.Backend().FormBoundsChanged(*this);
  if (resized && OnResize) OnResize();
}

void TForm::Show() {
  if (visible_) return;
  visible_ = true;
  Application.Backend().ShowForm(*this, modal_);
  if (OnShow) OnShow();
}

void TForm::Hide() {
  if (!visible_) return;
  visible_ = false;
  capture_ = nullptr;
  Application.Backend().HideForm(*this);
}

int TForm::ShowModal() {
  if (visible_) Hide();
  modal_ = true;
  modal_result_ = mrNone;
  Show();
  while (modal_result_ == mrNone) {
    if (Application.Terminated()) {
      modal_result_ = mrCancel;
      break;
    }
    platform::WaitForEvent(50);
  }
  Hide();
  modal_ = false;
  return modal_result_;
}

void TForm::Close() {
  TCloseAction action =
      Application.MainForm() == this ? TCloseAction::caFree : TCloseAction::caHide;
  if (OnClose) OnClose(action);
  if (action == TCloseAction::caNone) return;
  if (modal_) {
    if (modal_result_ == mrNone) modal_result_ = mrCancel;
  } else if (Application.MainForm() == this) {
    Application.Terminate();
  } else {
    Hide();
  }
}

void TForm::CloseRequested() {
  try {
    Close();
  } catch (const std::exception& e) {
    Application.ShowException(e);
  }
}

std::vector<TControl*> TForm::PaintList() const {
  std::vector<TControl*> list;
  for (TControl* control : controls_)
    if (control->Visible()) list.push_back(control);
  return list;
}

TControl* TForm::ControlAtPos(int x, int y) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    const TControl* c = *it;
    if (!c->Visible() || !c->Enabled()) continue;
    if (x >= c->Left() && x < c->Left() + c->Width() && y >= c->Top() &&
        y < c->Top() + c->Height())
      return *it;
  }
  return nullptr;
}

void TForm::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TControl* target = ControlAtPos(x, y);
  capture_ = target;
  capture_button_ = button;
  if (target == nullptr) return;
  try {
    target->MouseDown(button, shift, x - target->Left(), y - target->Top());
  } catch (const std::exception& e) {
    Application.ShowException(e);
  }
}

void TForm::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TControl* target = capture_;
  capture_ = nullptr;
  if (target == nullptr) return;
  const int cx = x - target->Left();
  const int cy = y - target->Top();
  try {
    // A click is a left press and release on the same control with the
    // pointer still over it; as in the framework, it runs before OnMouseUp.
    const bool inside = cx >= 0 && cx < target->Width() && cy >= 0 && cy < target->Height();
    if (button == TMouseButton::mbLeft && capture_button_ == TMouseButton::mbLeft && inside)
      target->Click();
    target->MouseUp(button, shift, cx, cy);
  } catch (const std::exception& e) {
    Application.ShowException(e);
  }
}

void TForm::Invalidate() {
  if (Application.HasBackend()) Application.Backend().InvalidateForm(*this);
}

void TForm::DoCreate() {
  if (!OnCreate) return;
  try {
    OnCreate();
  } catch (const std::exception& e) {
    Application.ShowException(e);
  }
}

void TForm::DoDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (OnDestroy) OnDestroy();
}

void TForm::InsertControl(TControl* control) { controls_.push_back(control); }

void TForm::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  if (capture_ == control) capture_ = nullptr;
}
