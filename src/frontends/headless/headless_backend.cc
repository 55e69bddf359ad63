#include "frontends/headless/headless_backend.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "platform/little_endian.h"
#include "vcl/form.h"

bool ReadBmpSize(const std::string& real_path, int& width, int& height) {
  std::ifstream in(real_path, std::ios::binary);
  unsigned char header[26] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
  if (header[0] != 'B' || header[1] != 'M') return false;
  const std::int32_t info_size = platform::ReadLe32(header + 14);
  int w = 0;
  int h = 0;
  if (info_size == 12) {  // BITMAPCOREHEADER: 16-bit sizes
    w = platform::ReadLe16(header + 18);
    h = platform::ReadLe16(header + 20);
  } else if (info_size >= 40) {
    w = platform::ReadLe32(header + 18);
    const std::int32_t raw_height = platform::ReadLe32(header + 22);
    if (raw_height == INT32_MIN) return false;
    h = std::abs(raw_height);  // negative = rows stored top-down
  } else {
    return false;
  }
  if (w <= 0 || h <= 0) return false;
  width = w;
  height = h;
  return true;
}

vcl::Size HeadlessBackend::MeasureText(const vcl::FontSpec& font, const std::string& bytes) {
  return {static_cast<int>(bytes.size()) * (font.height / 2), font.height};
}

bool HeadlessBackend::LoadBitmap(const std::string& real_path, vcl::BitmapInfo& out) {
  int width = 0;
  int height = 0;
  if (!ReadBmpSize(real_path, width, height)) return false;
  out = vcl::BitmapInfo{width, height, nullptr};
  return true;
}

void HeadlessBackend::InvalidateForm(TForm& form) {
  ++invalidations;
  if (on_invalidate) on_invalidate(form);
}

void HeadlessBackend::ShowForm(TForm& form, bool modal) {
  shown_forms.push_back(&form);
  if (modal && on_modal_shown) on_modal_shown(form);
}

void HeadlessBackend::DestroyForm(TForm& form) {
  shapes.erase(&form);
  std::erase(shown_forms, &form);
  std::erase(drag_requests, &form);
}

void HeadlessBackend::SetWindowShape(TForm& form, const std::vector<vcl::Rect>& rects) {
  shapes[&form] = rects;
}

int HeadlessBackend::ShowMessageBox(const vcl::MessageBoxRequest& request) {
  boxes.push_back(request);
  if (on_message_box) on_message_box(request);
  int answer = default_box_answer;
  if (!box_answers.empty()) {
    answer = box_answers.front();
    box_answers.pop_front();
  }
  const bool offered = std::any_of(request.buttons.begin(), request.buttons.end(),
                                   [answer](const vcl::MessageButton& b) { return b.id == answer; });
  if (offered) return answer;
  return request.buttons.empty() ? 0 : request.buttons.back().id;
}

void HeadlessBackend::WebViewNavigate(TWebBrowser& browser, const std::string& address) {
  navigations.push_back({&browser, address});
}

bool HeadlessBackend::ActivateWindowTitled(const std::string& title) {
  const auto& titles = existing_window_titles;
  if (std::find(titles.begin(), titles.end(), title) == titles.end()) return false;
  activated_titles.push_back(title);
  return true;
}
