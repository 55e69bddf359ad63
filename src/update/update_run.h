// The update run behind the update button, the byte progress of the
// transfers, and the start-game button.
#pragma once

#include "update/update_window.h"

// The update run: removes what a killed run left behind (see
// SweepTemporaryFiles), installs every entry of PendingList in order with
// ProcessEntry, counting down in Label3, then shows "files updated" and the
// start-game button and saves the record (SaveRecord). Does nothing
// while IsConnected is false; leaves Button1 disabled. Pumps messages
// before each entry and during downloads. An error raised by an entry stops
// the run there and is raised on (the record is saved later, at close); an
// in-use stop ends it after the window has been closed.
void Button1Click(UpdateWindow& w);

// Saves RecordList (when there is one) to "update2.dat", after flushing to
// disk every file installed since the last sweep, so that no saved record
// names a file whose data a power cut could still take. Throws the flush's
// and the save's EInOutError / EFOpenError.
void SaveRecord(UpdateWindow& w);

// Handler of the FTP client's OnPacketRecvd: while ShowProgress, moves the
// gauge to the bytes received and writes "<name> <received> of <total>"
// in Label4 (without the name while CheckMode).
void FtpClient1PacketRecvd(UpdateWindow& w);

// The start-game button: unless a forced update runs, hides the window,
// starts GameExeFile (default "Quelmar.exe kvx") without waiting and
// closes the window.
void Image3Click(UpdateWindow& w);

// Command line that starts the game, relative to the game folder.
std::string GameCommandLine(const RFtpConfigType& config);
