#include "app/engine_hooks.h"

#include "app/form1.h"
#include "app/game_start.h"
#include "ftp/ftp_client.h"
#include "update/forced_update.h"
#include "update/update_driver.h"
#include "update/update_run.h"

void AttachUpdateEngine(TForm1& form1) {
  UpdateWindow& w = form1;
  form1.Engine.Timer1Timer = [&w] { Timer1Timer(w); };
  form1.Engine.FormResize = [&w] { FormResize(w); };
  form1.Engine.Button1Click = [&w] { Button1Click(w); };
  form1.Engine.Image1MouseUp = [&w] { ForcedUpdateCommand(w); };
  form1.Engine.Image3Click = [&form1] { StartGame(form1); };
  form1.Engine.FormDestroy = [&w] {
    if (!w.FtpClient) return;
    try {
      w.FtpClient->Disconnect();
    } catch (const Exception&) {
      // The window is going away; a refused "QUIT" changes nothing.
    }
  };
}
