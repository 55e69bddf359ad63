#include "app/game_start.h"

#include "app/form1.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "update/update_run.h"

void StartGame(TForm1& form1) {
  if (form1.ForcedUpdateActive) return;
  form1.HideMainWindow();
  const std::string command_line = GameCommandLine(form1.FtpConfig);
  const unsigned result = platform::WinExec(form1.ExeDir, command_line, 1);
  if (result <= 31) {
    form1.Show();
    throw Exception("Cannot start the game \"" + form1.ExeDir + command_line +
                    "\": " + platform::WinExecFailureText(result));
  }
  form1.CloseMainWindow();
}
