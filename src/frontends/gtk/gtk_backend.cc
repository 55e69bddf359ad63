#include "frontends/gtk/gtk_backend.h"

#include <pango/pangocairo.h>

#include <algorithm>

#include "frontends/gtk/message_box.h"
#include "frontends/gtk/single_instance.h"
#include "frontends/gtk/text_codec.h"
#include "frontends/gtk/web_view.h"
#include "vcl/application.h"
#include "vcl/form.h"
#include "vcl/web_browser.h"

namespace gtkui {

GtkBackend::~GtkBackend() {
  for (auto& [browser, view] : views_)
    if (view != nullptr) g_object_remove_weak_pointer(G_OBJECT(view), reinterpret_cast<gpointer*>(&view));
}

vcl::Size GtkBackend::ScreenSize() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display != nullptr ? gdk_display_get_primary_monitor(display) : nullptr;
  if (monitor == nullptr && display != nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return {1024, 768};
  GdkRectangle area;
  gdk_monitor_get_geometry(monitor, &area);
  return {area.width, area.height};
}

vcl::Size GtkBackend::MeasureText(const vcl::FontSpec& font, const std::string& bytes) {
  PangoFontMap* font_map = pango_cairo_font_map_get_default();
  PangoContext* context = pango_font_map_create_context(font_map);
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* description = NewFontDescription(font);
  pango_layout_set_font_description(layout, description);
  const std::string text = DecodeText(bytes, FontCharSet(font, Application.CharSet));
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  pango_font_description_free(description);
  g_object_unref(layout);
  g_object_unref(context);
  return {width, height};
}

bool GtkBackend::LoadBitmap(const std::string& real_path, vcl::BitmapInfo& out) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(real_path.c_str(), nullptr);
  if (pixbuf == nullptr) return false;
  out.width = gdk_pixbuf_get_width(pixbuf);
  out.height = gdk_pixbuf_get_height(pixbuf);
  out.handle = std::shared_ptr<void>(pixbuf, [](void* p) { g_object_unref(p); });
  return true;
}

FormWindow& GtkBackend::WindowOf(TForm& form) {
  auto& window = windows_[&form];
  if (!window) window = std::make_unique<FormWindow>(form);
  return *window;
}

GtkWindow* GtkBackend::TopShownWindow() const {
  for (auto it = shown_order_.rbegin(); it != shown_order_.rend(); ++it) {
    auto found = windows_.find(*it);
    if (found != windows_.end() && found->second->Shown()) return found->second->window();
  }
  return nullptr;
}

void GtkBackend::InvalidateForm(TForm& form) {
  auto found = windows_.find(&form);
  if (found != windows_.end()) found->second->QueueDraw();
}

void GtkBackend::ShowForm(TForm& form, bool modal) {
  FormWindow& window = WindowOf(form);
  GtkWindow* above = modal ? TopShownWindow() : nullptr;
  shown_order_.erase(std::remove(shown_order_.begin(), shown_order_.end(), &form), shown_order_.end());
  shown_order_.push_back(&form);
  window.Show(modal, above != window.window() ? above : nullptr);
}

void GtkBackend::HideForm(TForm& form) {
  auto found = windows_.find(&form);
  if (found != windows_.end()) found->second->Hide();
}

void GtkBackend::FormBoundsChanged(TForm& form) {
  auto found = windows_.find(&form);
  if (found != windows_.end() && !found->second->ReportingMove()) found->second->SyncFromForm();
}

void GtkBackend::DestroyForm(TForm& form) {
  shown_order_.erase(std::remove(shown_order_.begin(), shown_order_.end(), &form), shown_order_.end());
  windows_.erase(&form);
}

void GtkBackend::SetWindowShape(TForm& form, const std::vector<vcl::Rect>& rects) {
  WindowOf(form).SetShape(rects);
}

void GtkBackend::StartWindowDrag(TForm& form) {
  auto found = windows_.find(&form);
  if (found != windows_.end()) found->second->BeginMoveDrag();
}

int GtkBackend::ShowMessageBox(const vcl::MessageBoxRequest& request) {
  return RunMessageBox(request, Application.CharSet, TopShownWindow());
}

GtkWidget* GtkBackend::ViewOf(TWebBrowser& browser) {
  auto found = views_.find(&browser);
  return found != views_.end() ? found->second : nullptr;
}

void GtkBackend::WebViewChanged(TWebBrowser& browser) {
  if (browser.Parent() == nullptr) return;
  GtkWidget* view = ViewOf(browser);
  FormWindow& window = WindowOf(*browser.Parent());
  if (view == nullptr) {
    view = NewWebView();
    gtk_fixed_put(window.children(), view, browser.Left(), browser.Top());
    GtkWidget*& slot = views_[&browser];
    slot = view;
    g_object_add_weak_pointer(G_OBJECT(view), reinterpret_cast<gpointer*>(&slot));
  } else {
    gtk_fixed_move(window.children(), view, browser.Left(), browser.Top());
  }
  gtk_widget_set_size_request(view, std::max(browser.Width(), 1), std::max(browser.Height(), 1));
  gtk_widget_set_visible(view, browser.Visible());
}

void GtkBackend::WebViewNavigate(TWebBrowser& browser, const std::string& address) {
  if (ViewOf(browser) == nullptr) WebViewChanged(browser);
  if (GtkWidget* view = ViewOf(browser)) NavigateWebView(view, address);
}

void GtkBackend::WebViewDestroy(TWebBrowser& browser) {
  auto found = views_.find(&browser);
  if (found == views_.end()) return;
  if (GtkWidget* view = found->second) {
    g_object_remove_weak_pointer(G_OBJECT(view), reinterpret_cast<gpointer*>(&found->second));
    gtk_widget_destroy(view);
  }
  views_.erase(found);
}

bool GtkBackend::ActivateWindowTitled(const std::string& title) {
  return ActivateX11WindowTitled(title);
}

}  // namespace gtkui
