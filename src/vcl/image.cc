#include "vcl/image.h"

#include "platform/errors.h"
#include "vcl/application.h"

TImage::TImage(TComponent* owner) : TControl(owner) {}

void TImage::LoadFromFile(const std::string& real_path) {
  vcl::BitmapInfo loaded;
  if (!Application.Backend().LoadBitmap(real_path, loaded))
    throw EFOpenError("Cannot open file " + real_path);
  picture_ = std::move(loaded);
  picture_file_ = real_path;
  PictureChanged();
  Invalidate();
}
