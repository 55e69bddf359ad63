#include "frontends/gtk/web_view.h"

#include <webkit2/webkit2.h>

#include <string>

namespace gtkui {
namespace {

// The key under which a locked-down view keeps the URI of its document.
constexpr char kOwnUriKey[] = "updater-own-uri";

std::string WithoutFragment(const std::string& uri) { return uri.substr(0, uri.find('#')); }

bool HasScheme(const std::string& uri, const char* scheme) {
  const size_t length = std::char_traits<char>::length(scheme);
  return g_ascii_strncasecmp(uri.c_str(), scheme, length) == 0;
}

gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                        gpointer) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  const char* own = static_cast<const char*>(g_object_get_data(G_OBJECT(view), kOwnUriKey));
  const bool followed = webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED &&
                        webkit_navigation_action_is_user_gesture(action);
  switch (JudgeLockedNavigation(own ? own : "", uri ? uri : "", followed)) {
    case LockedNavigation::kLoad:
      return FALSE;  // WebKit's default: load it
    case LockedNavigation::kOpenInBrowser:
      // A browser that cannot be started leaves the link unopened, as a
      // browser would with a dead link; the bulletin stays.
      g_app_info_launch_default_for_uri(uri, nullptr, nullptr);
      break;
    case LockedNavigation::kRefuse:
      break;
  }
  webkit_policy_decision_ignore(decision);
  return TRUE;
}

void LockDown(GtkWidget* view, const std::string& own_uri) {
  g_object_set_data_full(G_OBJECT(view), kOwnUriKey, g_strdup(own_uri.c_str()), g_free);
  if (g_object_get_data(G_OBJECT(view), "updater-locked") != nullptr) return;
  g_object_set_data(G_OBJECT(view), "updater-locked", GINT_TO_POINTER(1));
  WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view));
  webkit_settings_set_enable_javascript(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
  webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
  // Deprecated because current WebKitGTK runs no plugins at all; older
  // versions still honour it.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  webkit_settings_set_enable_plugins(settings, FALSE);
  webkit_settings_set_enable_java(settings, FALSE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), nullptr);
}

}  // namespace

LockedNavigation JudgeLockedNavigation(const std::string& own_uri, const std::string& uri, bool user_followed_link) {
  if (uri == "about:blank") return LockedNavigation::kLoad;
  if (!own_uri.empty() && WithoutFragment(uri) == WithoutFragment(own_uri)) return LockedNavigation::kLoad;
  const bool web = HasScheme(uri, "http:") || HasScheme(uri, "https:") || HasScheme(uri, "mailto:");
  return web && user_followed_link ? LockedNavigation::kOpenInBrowser : LockedNavigation::kRefuse;
}

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
  const std::string uri = AddressToUri(address);
  if (!address.empty() && address.front() == '/') LockDown(view, uri);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri.c_str());
}

}  // namespace gtkui
