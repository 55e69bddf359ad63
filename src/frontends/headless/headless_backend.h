// The deterministic backend: no pixels, no windows. It measures text with a
// fixed width per byte, reads only the header of BMP files, records what it
// is asked to show, and answers message boxes from a script.
//
// Text measure: every byte is font.height / 2 pixels wide (8 px for the
// 16 px fonts of the main window) and the text is font.height pixels high.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "vcl/backend.h"

class HeadlessBackend : public vcl::Backend {
 public:
  // --- configuration by the caller ---
  vcl::Size screen{1024, 768};
  // Answers for the coming message boxes, first one first (IDYES, IDNO, IDOK...).
  std::deque<int> box_answers;
  // Answer once the script is used up; 0 (or an id the box lacks) picks the
  // box's last button (No for a Yes/No box, OK for an OK box).
  int default_box_answer = 0;
  // Titles of top-level windows that "exist" for ActivateWindowTitled.
  std::vector<std::string> existing_window_titles;

  // Called when a form is shown modally, after it is recorded; the hook may
  // act on the form (confirm a dialog, close it) or post that for later.
  std::function<void(TForm& form)> on_modal_shown;
  // Called with every message box before it is answered.
  std::function<void(const vcl::MessageBoxRequest& request)> on_message_box;
  // Called whenever a form asks to be repainted.
  std::function<void(TForm& form)> on_invalidate;

  // --- what was asked ---
  std::vector<vcl::MessageBoxRequest> boxes;
  struct Navigation {
    const TWebBrowser* browser;
    std::string address;
  };
  std::vector<Navigation> navigations;
  std::map<const TForm*, std::vector<vcl::Rect>> shapes;
  std::vector<const TForm*> shown_forms;  // every Show, in order
  std::vector<const TForm*> drag_requests;
  std::vector<std::string> activated_titles;
  int invalidations = 0;

  // --- vcl::Backend ---
  vcl::Size ScreenSize() override { return screen; }
  vcl::Size MeasureText(const vcl::FontSpec& font, const std::string& bytes) override;
  bool LoadBitmap(const std::string& real_path, vcl::BitmapInfo& out) override;
  void InvalidateForm(TForm& form) override;
  void ShowForm(TForm& form, bool modal) override;
  void HideForm(TForm&) override {}
  void FormBoundsChanged(TForm&) override {}
  void DestroyForm(TForm& form) override;
  void SetWindowShape(TForm& form, const std::vector<vcl::Rect>& rects) override;
  void StartWindowDrag(TForm& form) override { drag_requests.push_back(&form); }
  int ShowMessageBox(const vcl::MessageBoxRequest& request) override;
  void WebViewChanged(TWebBrowser&) override {}
  void WebViewNavigate(TWebBrowser& browser, const std::string& address) override;
  void WebViewDestroy(TWebBrowser&) override {}
  bool ActivateWindowTitled(const std::string& title) override;
};

// Reads width and height from the header of a BMP file (the Windows
// BITMAPINFOHEADER family or the old BITMAPCOREHEADER). Returns false when
// the file cannot be read or is not a BMP.
bool ReadBmpSize(const std::string& real_path, int& width, int& height);
