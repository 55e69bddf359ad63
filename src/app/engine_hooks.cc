#include "app/engine_hooks.h"

#include "app/form1.h"
#include "platform/errors.h"
#include "update/forced_update.h"
#include "update/update_driver.h"
#include "update/update_run.h"

void AttachUpdateEngine(TForm1& form1) {
  UpdateEngine& e = form1.Engine;
  form1.Hooks.Timer1Timer = [&e] { Timer1Timer(e); };
  form1.Hooks.FormResize = [&e] { FormResize(e); };
  form1.Hooks.Button1Click = [&e] { Button1Click(e); };
  form1.Hooks.Image1MouseUp = [&e] { ForcedUpdateCommand(e); };
  form1.Hooks.Image3Click = [&e] { Image3Click(e); };
  form1.Hooks.FormDestroy = [&e] {
    if (!e.Connection) return;
    try {
      e.Connection->Disconnect();
    } catch (const Exception&) {
      // The window is going away; a refused "QUIT" changes nothing.
    }
  };
}
