#include "frontends/gtk/web_view.h"

#include <webkit2/webkit2.h>

namespace gtkui {

GtkWidget* NewWebView() {
  GtkWidget* view = webkit_web_view_new();
  WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view));
  // Software drawing works on every X server, Xvfb included.
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  return view;
}

std::string AddressToUri(const std::string& address) {
  if (address.empty()) return "about:blank";
  if (address.front() == '/') {
    if (!g_file_test(address.c_str(), G_FILE_TEST_IS_REGULAR)) return "about:blank";
    gchar* uri = g_filename_to_uri(address.c_str(), nullptr, nullptr);
    if (uri == nullptr) return "about:blank";
    std::string result(uri);
    g_free(uri);
    return result;
  }
  if (address.find("://") != std::string::npos || address.rfind("about:", 0) == 0) return address;
  return "http://" + address;
}

void NavigateWebView(GtkWidget* view, const std::string& address) {
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), AddressToUri(address).c_str());
}

}  // namespace gtkui
