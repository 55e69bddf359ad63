// `updater`: the skinned window program. It runs in the game folder it was
// installed into (the folder of its own executable) and reads no command
// line of its own.
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "app/program.h"
#include "frontends/gtk/gtk_backend.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "vcl/application.h"

int main(int argc, char** argv) {
  // The window places itself on the screen, cuts its outline and finds a
  // running updater by its title: all X11 (under Wayland, through XWayland).
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "updater: cannot open the X display (is DISPLAY set?)\n");
    return 1;
  }
  const std::string exe_dir = platform::ExecutableFolder();
  if (exe_dir.empty()) {
    std::fprintf(stderr, "updater: cannot find the folder of its own executable\n");
    return 1;
  }
  // Where the updater ends itself (closing while connected, a file that
  // could not be closed), it ends at once.
  Application.SetHaltHandler(platform::EndProcessNow);
  gtkui::GtkBackend backend;
  RunUpdater(backend, exe_dir);
  return 0;
}
