// A line of text. With AutoSize (the default) its width and height follow
// the text as the backend measures it, so a caller that centres it reads
// Width() right after setting the caption.
#pragma once

#include <string>

#include "vcl/control.h"

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  ControlKind Kind() const override { return ControlKind::kLabel; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  const vcl::FontSpec& Font() const { return font_; }
  void SetFont(const vcl::FontSpec& font);
  void SetFontName(const std::string& name);
  void SetFontHeight(int height);
  void SetFontColor(vcl::Color color);

  bool Transparent = false;  // paint no background
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool auto_size);

 private:
  void Fit();

  std::string caption_;
  vcl::FontSpec font_;
  bool auto_size_ = true;
};
