// Small controls: a push button (the main window keeps hidden ones as
// command holders) and a one-line status bar.
#pragma once

#include <string>

#include "vcl/control.h"

class TButton : public TControl {
 public:
  explicit TButton(TComponent* owner) : TControl(owner) {}
  ControlKind Kind() const override { return ControlKind::kButton; }
  std::string Caption;
  // Click() runs OnClick whether or not the button is enabled, as a
  // program-made click does; callers that honour Enabled check it.
};

class TStatusBar : public TControl {
 public:
  explicit TStatusBar(TComponent* owner) : TControl(owner) {}
  ControlKind Kind() const override { return ControlKind::kStatusBar; }
  const std::string& SimpleText() const { return simple_text_; }
  void SetSimpleText(const std::string& text) {
    simple_text_ = text;
    Invalidate();
  }
  bool SimplePanel = true;

 private:
  std::string simple_text_;
};
