// Connects the main window's engine handlers to the update engine.
#pragma once

class TForm1;

// Fills form1.Hooks: the timer tick and resize run the update check, the
// hidden Button1 the update run, Image1 the forced update, Image3 the game
// start, and FormDestroy disconnects the connection.
void AttachUpdateEngine(TForm1& form1);
