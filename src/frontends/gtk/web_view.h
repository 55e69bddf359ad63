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

void NavigateWebView(GtkWidget* view, const std::string& address);

}  // namespace gtkui
