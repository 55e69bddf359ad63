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
};

// Runs the updater on `backend` in the game folder exe_dir (a real path
// ending in '/'): if a window titled "Zkftpup" exists it is activated and
// nothing else happens; otherwise the application title becomes
// "Vortftpup", Form1 and Form2 are created (the dialog runs modally during
// its creation) and the message loop runs until the main window closes.
// The windows are destroyed before it returns. Returns false when another
// instance was activated instead. Pumps messages; not re-entrant.
bool RunUpdater(vcl::Backend& backend, const std::string& exe_dir,
                const UpdaterRunHooks& hooks = {});
