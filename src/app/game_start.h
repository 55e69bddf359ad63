// The start-game button of the main window.
#pragma once

class TForm1;

// Unless a forced update runs: hides the main window, starts the game
// (GameExeFile, default "Quelmar.exe kvx", relative to the game folder)
// without waiting for it, and closes the window. When the game cannot be
// started, the window is shown again and an Exception naming the command
// line tried and the reason is raised: the caller's error box shows it and
// the updater stays open.
void StartGame(TForm1& form1);
