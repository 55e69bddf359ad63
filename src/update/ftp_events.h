// The main window's handlers of the connection's events: the connection
// flag, the gauge set-up at the start of each transfer, the hidden status
// line, and the few boxes the user must see. Technical texts, English only.
// They run inside the connection's blocking calls, on the user-interface
// thread. UpdateEngine routes its transport's events here.
#pragma once

#include <string>

#include "transport/transport.h"
#include "update/update_engine.h"

void FtpClient1Connect(UpdateEngine& e);
void FtpClient1Disconnect(UpdateEngine& e);
void FtpClient1ConnectionFailed(UpdateEngine& e);
void FtpClient1HostResolved(UpdateEngine& e);
// Box "Invalid Host".
void FtpClient1InvalidHost(UpdateEngine& e);
// Gauge maximum := the transfer's expected size (0 when unknown), progress 0.
void FtpClient1TransactionStart(UpdateEngine& e);
void FtpClient1TransactionStop(UpdateEngine& e);
void FtpClient1Status(UpdateEngine& e, const std::string& Status);
// Box "Error <Errno>: <Errmsg>".
void FtpClient1Error(UpdateEngine& e, unsigned short Errno, const std::string& Errmsg);
// Status "Download failure" or "NList failure"; the transport goes on to
// raise its error.
void FtpClient1Failure(UpdateEngine& e, TransferCommand command);
// Appends one name of the server's listing to the listing names.
void FtpClient1ListItem(UpdateEngine& e, const std::string& line);
