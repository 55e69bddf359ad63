// The GTK 3 backend of the component model: one native window per form,
// painted from the form's paint list, with the stored outline as its shape,
// WebKitGTK views, GTK message boxes and the X11 window search.
// Everything runs on the GTK (user-interface) thread; gtk_init must have run.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <vector>

#include "frontends/gtk/form_window.h"
#include "vcl/backend.h"

namespace gtkui {

class GtkBackend : public vcl::Backend {
 public:
  GtkBackend() = default;
  ~GtkBackend() override;

  vcl::Size ScreenSize() override;
  vcl::Size MeasureText(const vcl::FontSpec& font, const std::string& bytes) override;
  [[nodiscard]] bool LoadBitmap(const std::string& real_path, vcl::BitmapInfo& out) override;
  void InvalidateForm(TForm& form) override;
  void ShowForm(TForm& form, bool modal) override;
  void HideForm(TForm& form) override;
  void FormBoundsChanged(TForm& form) override;
  void DestroyForm(TForm& form) override;
  void SetWindowShape(TForm& form, const std::vector<vcl::Rect>& rects) override;
  void StartWindowDrag(TForm& form) override;
  int ShowMessageBox(const vcl::MessageBoxRequest& request) override;
  void WebViewChanged(TWebBrowser& browser) override;
  void WebViewNavigate(TWebBrowser& browser, const std::string& address) override;
  void WebViewDestroy(TWebBrowser& browser) override;
  bool ActivateWindowTitled(const std::string& title) override;

 private:
  // The window of `form`, created (hidden) on first use.
  FormWindow& WindowOf(TForm& form);
  // The shown window most recently shown, to keep boxes and modal windows
  // above it; null when none is shown.
  GtkWindow* TopShownWindow() const;
  GtkWidget* ViewOf(TWebBrowser& browser);

  std::map<TForm*, std::unique_ptr<FormWindow>> windows_;
  std::vector<TForm*> shown_order_;  // forms in the order they were shown
  std::map<TWebBrowser*, GtkWidget*> views_;  // nulled by GTK when destroyed
};

}  // namespace gtkui
