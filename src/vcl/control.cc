#include "vcl/control.h"

#include "vcl/form.h"

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetParent(TForm* form) {
  if (form == parent_) return;
  if (parent_ != nullptr) {
    parent_->RemoveControl(this);
    parent_->Invalidate();
  }
  parent_ = form;
  if (parent_ != nullptr) parent_->InsertControl(this);
  Changed();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (StoreBounds(left, top, width, height)) Changed();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Changed();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Invalidate();
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(button, shift, x, y);
}

void TControl::Click() {
  if (OnClick) OnClick();
}

void TControl::Invalidate() {
  if (parent_ != nullptr) parent_->Invalidate();
}

void TControl::Changed() { Invalidate(); }
