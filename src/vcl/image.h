// A picture control: paints its bitmap at its top-left corner at the
// bitmap's natural size, clipped to the control.
#pragma once

#include <string>

#include "vcl/control.h"

class TImage : public TControl {
 public:
  explicit TImage(TComponent* owner);
  ControlKind Kind() const override { return ControlKind::kImage; }

  // Loads a BMP file from a real path through the backend. Throws
  // EFOpenError "Cannot open file <path>" when it cannot be loaded; the
  // picture is unchanged then.
  void LoadFromFile(const std::string& real_path);
  const vcl::BitmapInfo& Picture() const { return picture_; }
  // Real path of the loaded picture ("" when none).
  const std::string& PictureFile() const { return picture_file_; }

  // When set, pixels of TransparentColor are not painted.
  bool Transparent = false;
  vcl::Color TransparentColor = 0;

 protected:
  // Called after a new picture has been loaded.
  virtual void PictureChanged() {}

 private:
  vcl::BitmapInfo picture_;
  std::string picture_file_;
};
