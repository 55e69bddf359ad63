// The main window's handlers of the FTP client's events: the connection
// flag, the gauge set-up at the start of each transfer, the hidden status
// line, and the few boxes the user must see. Technical texts, English only.
// They run inside the client's blocking calls, on the user-interface thread.
#pragma once

#include <string>

#include "ftp/ftp_client.h"
#include "update/update_window.h"

void FtpClient1Connect(UpdateWindow& w);
// Writes no status once the status line is gone (window being destroyed).
void FtpClient1Disconnect(UpdateWindow& w);
void FtpClient1ConnectionFailed(UpdateWindow& w);
void FtpClient1HostResolved(UpdateWindow& w);
// Box "Invalid Host"; Handled is left as the client passed it.
void FtpClient1InvalidHost(UpdateWindow& w, bool& Handled);
// Gauge maximum := the size the server announced (0 when none), progress 0.
void FtpClient1TransactionStart(UpdateWindow& w);
void FtpClient1TransactionStop(UpdateWindow& w);
void FtpClient1PacketSent(UpdateWindow& w);
void FtpClient1Status(UpdateWindow& w, const std::string& Status);
// Box "Error <Errno>: <Errmsg>".
void FtpClient1Error(UpdateWindow& w, unsigned short Errno, const std::string& Errmsg);
// Status "<command> failure" for codes 0..14; Handled stays false, so the
// client goes on to raise its error.
void FtpClient1Failure(UpdateWindow& w, bool& Handled, TCmdType Trans_Type);
// Box "<command> unsupported" for codes 0..14.
void FtpClient1UnSupportedFunction(UpdateWindow& w, TCmdType Trans_Type);
// Appends one line of the server's name listing to ListBox3.
void FtpClient1ListItem(UpdateWindow& w, const std::string& line);

// Connects every event of `client` to the handlers above (and OnPacketRecvd
// to FtpClient1PacketRecvd of the update run); OnSuccess stays empty.
void AttachFtpClientEvents(UpdateWindow& w, TFtpClient& client);
