#include "app/skin_form.h"

#include <cstdint>

#include "platform/errors.h"
#include "vcl/application.h"
#include "vcl/form.h"

namespace {

constexpr std::size_t kRegionHeaderSize = 32;
constexpr std::size_t kRectSize = 16;

std::int32_t ReadLe32(std::string_view bytes, std::size_t at) {
  const auto b = [&](std::size_t i) { return std::uint32_t(static_cast<unsigned char>(bytes[at + i])); };
  return static_cast<std::int32_t>(b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24);
}

void AppendLe32(std::string& out, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
}

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
  const std::int32_t n = ReadLe32(payload, 0);
  if (n == 0) {
    region_data_.clear();
    rects_.clear();
    has_region_ = false;
    return;
  }
  if (n < static_cast<std::int32_t>(kRegionHeaderSize) || payload.size() - 4 < std::size_t(n))
    throw InvalidOutline();
  const std::string_view data = payload.substr(4, n);
  const std::int32_t header_size = ReadLe32(data, 0);
  const std::int32_t type = ReadLe32(data, 4);
  const std::int32_t count = ReadLe32(data, 8);
  if (header_size != static_cast<std::int32_t>(kRegionHeaderSize) || type != 1 || count < 0 ||
      std::size_t(count) > (data.size() - kRegionHeaderSize) / kRectSize)
    throw InvalidOutline();
  std::vector<vcl::Rect> rects;
  rects.reserve(count);
  for (std::int32_t i = 0; i < count; ++i) {
    const std::size_t at = kRegionHeaderSize + i * kRectSize;
    rects.push_back({ReadLe32(data, at), ReadLe32(data, at + 4), ReadLe32(data, at + 8),
                     ReadLe32(data, at + 12)});
  }
  region_data_.assign(data);
  rects_ = std::move(rects);
  has_region_ = true;
  ApplyShape();
}

std::string TSkinForm::WriteMask2() const {
  std::string out;
  if (!has_region_) {
    AppendLe32(out, 0);
    return out;
  }
  AppendLe32(out, static_cast<std::int32_t>(region_data_.size()));
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
