// Finding and activating another program's top-level window by its title,
// the way a second start of the updater hands over to the running one.
#pragma once

#include <string>

namespace gtkui {

// Searches the X11 top-level windows (the window manager's client list, the
// root's children and, under a reparenting window manager, their children)
// for one whose title
// (_NET_WM_NAME, else WM_NAME) is exactly `title`. When found, maps and
// raises it, asks the window manager to activate it, and returns true.
// Returns false when there is none or the display is not X11.
bool ActivateX11WindowTitled(const std::string& title);

}  // namespace gtkui
