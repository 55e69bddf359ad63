// The update run behind the update button, the byte progress of the
// transfers, and the start-game button.
#pragma once

#include "update/update_engine.h"

// The update run: removes what a killed run left behind (see
// SweepTemporaryFiles) except the partial downloads its entries may
// continue, installs every entry of PendingList in order with ProcessEntry,
// counting down in the status line, then shows "files updated" and the
// start-game button and saves the record (SaveRecord). The kept partials
// that no entry continued are removed however the run ends. Does nothing
// while IsConnected is false; leaves the run disarmed. Pumps messages
// before each entry and during downloads. While it runs, the engine's
// RunBytes holds its byte totals (update/run_bytes.h). The record is also
// saved on the way, as ReadRecordSavePolicy says (every 5 s or 256 MiB),
// so that a run that is killed costs the next one at most what it
// installed since. An error raised by an entry stops
// the run there and is raised on (the record is saved later, at close); an
// in-use stop ends it after the window has been closed. A stop asked for
// by RequestRunStop ends it at the next entry, or in the entry whose
// download it cancelled: the record is saved, the partial downloads kept
// for later runs stay, and it returns normally with StopRequested still set.
void Button1Click(UpdateEngine& e);

// Asks the update run in progress to stop at its next safe point: between
// entries, or at once in a running download, which is cancelled
// (Transport::Cancel) and stays to be continued by the next run. Call it on
// the user-interface thread (a signal's handler on the message loop).
// Returns false, and changes nothing, when no update run is going on.
bool RequestRunStop(UpdateEngine& e);

// Saves RecordList (when there is one) to "update2.dat", after flushing to
// disk every file installed since the last sweep, so that no saved record
// names a file whose data a power cut could still take. Fetches ahead stop
// first (Transport::DropPlans). Throws the flush's
// and the save's EInOutError / EFOpenError.
void SaveRecord(UpdateEngine& e);

// Handler of the FTP client's OnPacketRecvd: while ShowProgress, moves the
// gauge to the bytes received and writes "<name> <received> of <total>"
// in the byte counter (without the name while CheckMode).
void FtpClient1PacketRecvd(UpdateEngine& e);

// The start-game button: unless a forced update runs, hides the window,
// starts GameExeFile (default "Quelmar.exe kvx", relative to the game
// folder) without waiting for it, and closes the window. When the game
// cannot be started, the window is shown again and an Exception naming the
// command line tried and the reason is raised: the caller's error box shows
// it and the updater stays open.
void Image3Click(UpdateEngine& e);

// Command line that starts the game, relative to the game folder.
std::string GameCommandLine(const RFtpConfigType& config);
