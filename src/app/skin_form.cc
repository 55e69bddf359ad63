#include "app/skin_form.h"

#include <cstdint>

#include "platform/errors.h"
#include "platform/little_endian.h"
#include "vcl/application.h"
#include "vcl/form.h"

namespace {

constexpr std::size_t kRegionHeaderSize = 32;
constexpr std::size_t kRectSize = 16;

Exception InvalidOutline() { return Exception("Invalid window outline data"); }

}  // namespace

TSkinForm::TSkinForm(TComponent* owner) : TImage(owner) {}

void TSkinForm::SetParent(TForm* form) {
  TImage::SetParent(form);
  if (form == nullptr) return;
  form->SetBorderStyle(TFormBorderStyle::bsNone);
  SetBounds(0, 0, Width(), Height());
  if (has_region_) ApplyShape();
}

void TSkinForm::SetBounds(int, int, int width, int height) {
  TImage::SetBounds(0, 0, width, height);
}

void TSkinForm::ReadMask2(std::string_view payload) {
  if (payload.size() < 4) throw InvalidOutline();
  const std::int32_t n = platform::ReadLe32(payload.data());
  if (n == 0) {
    region_data_.clear();
    rects_.clear();
    has_region_ = false;
    return;
  }
  if (n < static_cast<std::int32_t>(kRegionHeaderSize) || payload.size() - 4 < std::size_t(n))
    throw InvalidOutline();
  const std::string_view data = payload.substr(4, n);
  const std::int32_t header_size = platform::ReadLe32(data.data());
  const std::int32_t type = platform::ReadLe32(data.data() + 4);
  const std::int32_t count = platform::ReadLe32(data.data() + 8);
  if (header_size != static_cast<std::int32_t>(kRegionHeaderSize) || type != 1 || count < 0 ||
      std::size_t(count) > (data.size() - kRegionHeaderSize) / kRectSize)
    throw InvalidOutline();
  std::vector<vcl::Rect> rects;
  rects.reserve(count);
  for (std::int32_t i = 0; i < count; ++i) {
    const char* rect = data.data() + kRegionHeaderSize + i * kRectSize;
    rects.push_back({platform::ReadLe32(rect), platform::ReadLe32(rect + 4), platform::ReadLe32(rect + 8),
                     platform::ReadLe32(rect + 12)});
  }
  region_data_.assign(data);
  rects_ = std::move(rects);
  has_region_ = true;
  ApplyShape();
}

std::string TSkinForm::WriteMask2() const {
  std::string out;
  if (!has_region_) {
    platform::AppendLe32(out, 0);
    return out;
  }
  platform::AppendLe32(out, static_cast<std::int32_t>(region_data_.size()));
  out += region_data_;
  return out;
}

void TSkinForm::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == TMouseButton::mbLeft && Parent() != nullptr) {
    Parent()->ReleaseCapture();
    Application.Backend().StartWindowDrag(*Parent());
  }
  TImage::MouseDown(button, shift, x, y);
}

void TSkinForm::ApplyShape() {
  if (Parent() != nullptr) Application.Backend().SetWindowShape(*Parent(), rects_);
}
