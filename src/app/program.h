// The program entry shared by the window program and updater-cli.
#pragma once

#include <functional>
#include <string>

#include "vcl/backend.h"

class TForm1;
class TForm2;

struct UpdaterRunHooks {
  // Runs right after the main window's creation and the engine's wiring
  // (AttachUpdateEngine), before the server dialog opens: the place to
  // replace or extend TForm1::Hooks and to set the window's hooks.
  std::function<void(TForm1& form1)> attach_engine;
  // Runs once both windows exist, before the message loop.
  std::function<void(TForm1& form1, TForm2& form2)> forms_created;
  // Runs on the message loop when a stop signal (SIGINT, SIGTERM, SIGHUP)
  // arrives, with its number, before the main window acts on it.
  std::function<void(int signal)> stop_signal;
};

enum class UpdaterRunEnd {
  kRan,                    // the windows ran until the main window closed
  kOtherInstanceActivated,  // a window titled "Zkftpup" was activated instead
  kFolderTaken,            // another run holds the game folder (a box said which)
  kFolderNotLockable,      // the lock file cannot be made (an error box said why)
};

// Runs the updater on `backend` in the game folder exe_dir (a real path
// ending in '/'): if a window titled "Zkftpup" exists it is activated and
// nothing else happens; otherwise the application title becomes
// "Vortftpup" and the game folder is locked for the run, or, when another
// run holds it, a box names that run's process and nothing else happens.
// Then Form1 and Form2 are created (the dialog runs modally during its
// creation) and the message loop runs until the main window closes. From
// then on a stop signal no longer ends the process at once: the main
// window stops the update run at a safe point, saves the record and closes
// (TForm1::StopRequested). The
// windows are destroyed, and the folder released, before it returns; an
// end of the process inside the run releases it too. Pumps messages; not
// re-entrant.
UpdaterRunEnd RunUpdater(vcl::Backend& backend, const std::string& exe_dir, const UpdaterRunHooks& hooks = {});
