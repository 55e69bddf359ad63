#include "update/ftp_events.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "update/status_display.h"
#include "update/update_run.h"
#include "vcl/application.h"
#include "vcl/gauge.h"
#include "vcl/list_box.h"
#include "vcl/std_controls.h"

namespace {

// Names of the command codes 0..14 as the status texts and boxes use them.
constexpr std::array<std::string_view, 15> kCommandNames = {
    "ChangeDir", "MakeDir",  "Delete", "RemoveDir", "List",     "Rename", "UploadRestore",
    "DownloadRestore", "Download", "Upload", "UploadAppend", "ReInit", "Allocate", "NList",
    "DoCommand"};

// The command's name, or "" for a code outside 0..14.
std::string CommandName(TCmdType type) {
  const auto code = static_cast<int>(type);
  if (code < 0 || code >= static_cast<int>(kCommandNames.size())) return "";
  return std::string(kCommandNames[code]);
}

void SetStatus(UpdateWindow& w, const std::string& text) { w.StatusBar1->SetSimpleText(text); }

void ShowOkBox(const std::string& text) { Application.MessageBox(text, Application.Title, MB_OK); }

}  // namespace

void FtpClient1Connect(UpdateWindow& w) {
  w.IsConnected = true;
  SetStatus(w, "Connected");
}

void FtpClient1Disconnect(UpdateWindow& w) {
  w.IsConnected = false;
  if (w.StatusBar1 != nullptr) SetStatus(w, "Disconnected");
}

void FtpClient1ConnectionFailed(UpdateWindow& w) { w.IsConnected = false; }

void FtpClient1HostResolved(UpdateWindow& w) { SetStatus(w, "Host resolved"); }

void FtpClient1InvalidHost(UpdateWindow&, bool&) { ShowOkBox("Invalid Host"); }

void FtpClient1TransactionStart(UpdateWindow& w) {
  const int64_t announced = w.FtpClient ? std::max<int64_t>(w.FtpClient->BytesTotal, 0) : 0;
  // The gauge holds 32-bit values; a larger announced size is shown as full scale.
  w.Gauge1->SetMaxValue(static_cast<int>(std::min<int64_t>(announced, INT32_MAX)));
  w.Gauge1->SetProgress(0);
  SetStatus(w, "Beginning Data Transfer");
}

void FtpClient1TransactionStop(UpdateWindow& w) { SetStatus(w, "Data Transfer Complete"); }

void FtpClient1PacketSent(UpdateWindow&) {}

void FtpClient1Status(UpdateWindow&, const std::string&) {}

void FtpClient1Error(UpdateWindow&, unsigned short Errno, const std::string& Errmsg) {
  ShowOkBox("Error " + std::to_string(Errno) + ": " + Errmsg);
}

void FtpClient1Failure(UpdateWindow& w, bool&, TCmdType Trans_Type) {
  const std::string name = CommandName(Trans_Type);
  if (!name.empty()) SetStatus(w, name + " failure");
}

void FtpClient1UnSupportedFunction(UpdateWindow&, TCmdType Trans_Type) {
  const std::string name = CommandName(Trans_Type);
  if (!name.empty()) ShowOkBox(name + " unsupported");
}

void FtpClient1ListItem(UpdateWindow& w, const std::string& line) { w.ListBox3->Items.Add(line); }

void AttachFtpClientEvents(UpdateWindow& w, TFtpClient& client) {
  UpdateWindow* window = &w;
  client.OnConnect = [window] { FtpClient1Connect(*window); };
  client.OnPacketRecvd = [window] { FtpClient1PacketRecvd(*window); };
  client.OnPacketSent = [window] { FtpClient1PacketSent(*window); };
  client.OnError = [window](unsigned short errno_value, const std::string& message) {
    FtpClient1Error(*window, errno_value, message);
  };
  client.OnTransactionStart = [window] { FtpClient1TransactionStart(*window); };
  client.OnDisconnect = [window] { FtpClient1Disconnect(*window); };
  client.OnTransactionStop = [window] { FtpClient1TransactionStop(*window); };
  client.OnFailure = [window](bool& handled, TCmdType type) { FtpClient1Failure(*window, handled, type); };
  client.OnUnSupportedFunction = [window](TCmdType type) { FtpClient1UnSupportedFunction(*window, type); };
  client.OnHostResolved = [window] { FtpClient1HostResolved(*window); };
  client.OnConnectionFailed = [window] { FtpClient1ConnectionFailed(*window); };
  client.OnInvalidHost = [window](bool& handled) { FtpClient1InvalidHost(*window, handled); };
  client.OnStatus = [window](const std::string& status) { FtpClient1Status(*window, status); };
  client.OnListItem = [window](const std::string& line) { FtpClient1ListItem(*window, line); };
}
