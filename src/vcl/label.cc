#include "vcl/label.h"

#include "vcl/application.h"

TLabel::TLabel(TComponent* owner) : TControl(owner) { Fit(); }

void TLabel::SetCaption(const std::string& caption) {
  caption_ = caption;
  Fit();
  Invalidate();
}

void TLabel::SetFont(const vcl::FontSpec& font) {
  font_ = font;
  Fit();
  Invalidate();
}

void TLabel::SetFontName(const std::string& name) {
  vcl::FontSpec font = font_;
  font.name = name;
  SetFont(font);
}

void TLabel::SetFontHeight(int height) {
  vcl::FontSpec font = font_;
  font.height = height;
  SetFont(font);
}

void TLabel::SetFontColor(vcl::Color color) {
  vcl::FontSpec font = font_;
  font.color = color;
  SetFont(font);
}

void TLabel::SetAutoSize(bool auto_size) {
  auto_size_ = auto_size;
  Fit();
}

void TLabel::Fit() {
  if (!auto_size_ || !Application.HasBackend()) return;
  const vcl::Size size = Application.Backend().MeasureText(font_, caption_);
  SetBounds(Left(), Top(), size.width, size.height);
}
