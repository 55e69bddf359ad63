#include "app/program.h"

#include "app/engine_hooks.h"
#include "app/form1.h"
#include "app/form2.h"
#include "vcl/application.h"

bool RunUpdater(vcl::Backend& backend, const std::string& exe_dir, const UpdaterRunHooks& hooks) {
  Application.SetBackend(&backend);
  if (backend.ActivateWindowTitled("Zkftpup")) return false;
  Application.Title = "Vortftpup";
  TForm1* form1 = Application.CreateForm<TForm1>(exe_dir);
  AttachUpdateEngine(*form1);
  if (hooks.attach_engine) hooks.attach_engine(*form1);
  TForm2* form2 = Application.CreateForm<TForm2>(*form1, exe_dir);
  form1->ServerDialog = form2;
  if (hooks.forms_created) hooks.forms_created(*form1, *form2);
  Application.Run();
  Application.Shutdown();
  return true;
}
