// The embedded HTML views (WebKitGTK), placed in their form's window above
// the painted controls.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace gtkui {

// A new, hidden web view (a floating reference; the container takes it).
GtkWidget* NewWebView();

// The URI a navigation address stands for: an absolute local path becomes a
// file URI ("about:blank" when the file does not exist, so a missing page
// is an empty view, not an error page), "" becomes "about:blank", an
// address with a scheme is kept, any other is taken as an http address.
std::string AddressToUri(const std::string& address);

// Loads the address. A view given a local file (the bulletin, which comes
// from the update servers) is locked down for good: JavaScript and plugins
// off, no navigation but to that file, links opened in the user's browser.
void NavigateWebView(GtkWidget* view, const std::string& address);

// What a locked-down view does with a navigation to `uri`.
enum class LockedNavigation {
  kLoad,           // its own document (a fragment of it included), or about:blank
  kRefuse,         // any other address: file: and unknown schemes above all
  kOpenInBrowser,  // a link the user followed to http:, https: or mailto:
};

// The decision for a navigation to `uri` in a view locked to `own_uri`;
// user_followed_link: a click on a link, not a redirect or a frame load.
LockedNavigation JudgeLockedNavigation(const std::string& own_uri, const std::string& uri, bool user_followed_link);

}  // namespace gtkui
