#include "frontends/gtk/single_instance.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <vector>

namespace gtkui {
namespace {

// The text of a string property, or "" when absent.
std::string TextProperty(Display* display, Window window, Atom property, Atom type) {
  Atom actual_type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  std::string text;
  if (XGetWindowProperty(display, window, property, 0, 1024, False, type, &actual_type, &format,
                         &count, &remaining, &data) == Success &&
      data != nullptr) {
    if (format == 8) text.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return text;
}

bool HasTitle(Display* display, Window window, const std::string& title) {
  const Atom net_wm_name = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  const std::string net_name = TextProperty(display, window, net_wm_name, utf8);
  if (!net_name.empty()) return net_name == title;
  return TextProperty(display, window, XA_WM_NAME, XA_STRING) == title;
}

std::vector<Window> Children(Display* display, Window parent) {
  Window root = None, parent_return = None, *children = nullptr;
  unsigned count = 0;
  std::vector<Window> result;
  if (XQueryTree(display, parent, &root, &parent_return, &children, &count) && children != nullptr) {
    result.assign(children, children + count);
    XFree(children);
  }
  return result;
}

// The managed client windows a window manager lists on the root window
// (_NET_CLIENT_LIST); empty without such a window manager.
std::vector<Window> ManagedClients(Display* display) {
  Atom actual_type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  std::vector<Window> result;
  const Atom client_list = XInternAtom(display, "_NET_CLIENT_LIST", False);
  if (XGetWindowProperty(display, DefaultRootWindow(display), client_list, 0, 65536, False, XA_WINDOW,
                         &actual_type, &format, &count, &remaining, &data) == Success &&
      data != nullptr) {
    if (format == 32) {
      const auto* windows = reinterpret_cast<const unsigned long*>(data);  // 32-bit items come as longs
      result.assign(windows, windows + count);
    }
    XFree(data);
  }
  return result;
}

void Activate(Display* display, Window window) {
  XMapRaised(display, window);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = 1;  // from an application
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(display);
}

}  // namespace

bool ActivateX11WindowTitled(const std::string& title) {
  GdkDisplay* gdk_display = gdk_display_get_default();
  if (gdk_display == nullptr || !GDK_IS_X11_DISPLAY(gdk_display)) return false;
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_display);
  std::vector<Window> candidates = ManagedClients(display);
  for (Window top : Children(display, DefaultRootWindow(display))) {
    candidates.push_back(top);
    for (Window child : Children(display, top)) candidates.push_back(child);  // under a frame
  }
  for (Window window : candidates) {
    if (HasTitle(display, window, title)) {
      Activate(display, window);
      return true;
    }
  }
  return false;
}

}  // namespace gtkui
