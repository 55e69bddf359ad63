#include "app/program.h"

#include <memory>

#include "app/engine_hooks.h"
#include "app/form1.h"
#include "app/form2.h"
#include "platform/file_system.h"
#include "platform/folder_lock.h"
#include "platform/game_path.h"
#include "platform/stop_signals.h"
#include "update/updater_files.h"
#include "vcl/application.h"

namespace {

// Locks the game folder for this run, or shows why it cannot and returns
// null: the run that holds it, or what kept the lock file from being made.
std::unique_ptr<platform::FolderLock> LockGameFolder(const std::string& exe_dir, UpdaterRunEnd& refusal) {
  auto lock = std::make_unique<platform::FolderLock>(platform::ResolveGameFileName(exe_dir, kGameFolderLockName));
  if (lock->Held()) return lock;
  if (lock->Error() != 0) {
    Application.MessageBox("Cannot lock the game folder " + exe_dir + " for the update: " +
                               platform::ErrorText(lock->Error()),
                           Application.Title, MB_OK | MB_ICONERROR);
    refusal = UpdaterRunEnd::kFolderNotLockable;
    return nullptr;
  }
  const std::string holder =
      lock->HolderPid() > 0 ? "process " + std::to_string(lock->HolderPid()) : "another process";
  Application.MessageBox("The game folder " + exe_dir + " is being updated by " + holder + "; wait for it to end.",
                         Application.Title, MB_OK | MB_ICONWARNING);
  refusal = UpdaterRunEnd::kFolderTaken;
  return nullptr;
}

}  // namespace

UpdaterRunEnd RunUpdater(vcl::Backend& backend, const std::string& exe_dir, const UpdaterRunHooks& hooks) {
  Application.SetBackend(&backend);
  if (backend.ActivateWindowTitled("Zkftpup")) return UpdaterRunEnd::kOtherInstanceActivated;
  Application.Title = "Vortftpup";
  // Before the first write to the folder (the dialog's "isp1.dat", the
  // sweep of the update run), held until the windows are gone.
  UpdaterRunEnd refusal = UpdaterRunEnd::kRan;
  const std::unique_ptr<platform::FolderLock> lock = LockGameFolder(exe_dir, refusal);
  if (!lock) return refusal;
  TForm1* form1 = Application.CreateForm<TForm1>(exe_dir);
  AttachUpdateEngine(*form1);
  if (hooks.attach_engine) hooks.attach_engine(*form1);
  TForm2* form2 = Application.CreateForm<TForm2>(*form1, exe_dir);
  form1->ServerDialog = form2;
  if (hooks.forms_created) hooks.forms_created(*form1, *form2);
  {
    // Only while the loop runs: the windows are gone once it has ended.
    const platform::StopSignalWatch stop_signals([form1, &hooks](int signal) {
      if (hooks.stop_signal) hooks.stop_signal(signal);
      form1->StopRequested();
    });
    Application.Run();
  }
  Application.Shutdown();
  return UpdaterRunEnd::kRan;
}
