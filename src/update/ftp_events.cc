#include "update/ftp_events.h"

#include <algorithm>
#include <cstdint>

#include "update/gauge_units.h"
#include "update/update_run.h"

void FtpClient1Connect(UpdateEngine& e) {
  e.IsConnected = true;
  e.Login.Reached = true;
  e.View.SetConnectionStatus("Connected");
}

void FtpClient1Disconnect(UpdateEngine& e) {
  e.IsConnected = false;
  e.View.SetConnectionStatus("Disconnected");
}

void FtpClient1ConnectionFailed(UpdateEngine& e) {
  e.IsConnected = false;
  e.Login.Refused = true;
}

void FtpClient1HostResolved(UpdateEngine& e) { e.View.SetConnectionStatus("Host resolved"); }

void FtpClient1InvalidHost(UpdateEngine& e) {
  e.Login.InvalidHost = true;
  e.View.ShowBox("Invalid Host", BoxIcon::kNone);
}

void FtpClient1TransactionStart(UpdateEngine& e) {
  const int64_t expected = e.Connection ? std::max<int64_t>(e.Connection->BytesTotal(), 0) : 0;
  e.View.SetProgressMax(GaugeUnits(expected, expected));
  e.View.SetProgress(0);
  e.View.SetConnectionStatus("Beginning Data Transfer");
}

void FtpClient1TransactionStop(UpdateEngine& e) { e.View.SetConnectionStatus("Data Transfer Complete"); }

void FtpClient1Status(UpdateEngine&, const std::string&) {}

void FtpClient1Error(UpdateEngine& e, unsigned short Errno, const std::string& Errmsg) {
  e.View.ShowBox("Error " + std::to_string(Errno) + ": " + Errmsg, BoxIcon::kNone);
}

void FtpClient1Failure(UpdateEngine& e, TransferCommand command) {
  e.View.SetConnectionStatus(command == TransferCommand::kDownload ? "Download failure" : "NList failure");
}

void FtpClient1ListItem(UpdateEngine& e, const std::string& line) { AddListingName(e, line); }
