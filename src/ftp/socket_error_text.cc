// Reporting socket failures, and the address texts of the data
// connection commands.
#include <cstdio>

#include "ftp/stream_socket.h"
#include "platform/socket_errors.h"


std::string TStreamSocket::ErrorMessage(uint16_t error_number) {
  ReportStatus(8, "Looking Up Error Message");
  return platform::WinSockErrorMessage(error_number);
}

void TStreamSocket::CheckSocketError(int ignored, std::string& text) {
  last_error_no_ = platform::LastSocketError();
  text.clear();
  if (last_error_no_ == ignored || last_error_no_ <= 10000) return;
  text = ErrorMessage(static_cast<uint16_t>(last_error_no_));
  if (OnError) OnError(static_cast<unsigned short>(last_error_no_), text);
  throw ESockError(text);
}

platform::SocketEndpoint TStreamSocket::LocalEndpoint() {
  platform::SocketEndpoint local;
  if (!socket_.LocalEndpoint(local)) {
    std::string text;
    CheckSocketError(0, text);
  }
  return local;
}

std::string TStreamSocket::LocalAddressForPort() {
  const platform::SocketEndpoint local = LocalEndpoint();
  const auto& b = local.address.bytes;
  char formatted[32];
  std::snprintf(formatted, sizeof(formatted), "%u,%u,%u,%u", b[0], b[1], b[2], b[3]);
  return formatted;
}

std::string TStreamSocket::PeerAddress() const { return platform::FormatAddress(remote_.address); }

std::string TStreamSocket::LocalAddress() { return platform::FormatAddress(LocalEndpoint().address); }

uint16_t TStreamSocket::LocalPort() { return LocalEndpoint().port; }

std::string TStreamSocket::PortSuffix() {
  const platform::SocketEndpoint local = LocalEndpoint();
  char formatted[16];
  std::snprintf(formatted, sizeof(formatted), ",%d,%d", local.port >> 8, local.port & 255);
  return formatted;
}
