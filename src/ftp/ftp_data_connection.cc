// The data connection of TFtpClient's transfers: made by "PASV" or "PORT "
// (on IPv6, "EPSV" or "EPRT "),
// and settled when a transfer fails while the server still owes replies.
#include <chrono>

#include "ftp/ftp_client.h"
#include "ftp/ftp_reply.h"
#include "platform/event_loop.h"

namespace {

// How long a cancelled listing, or a transfer that failed after the server
// accepted it, waits for the replies the server still owes.
constexpr auto kAbortReplyWait = std::chrono::microseconds(950400);

// The whole lines of text that end a reply (lines that are no continuation).
int FinalLines(const std::string& text) {
  int count = 0;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    if (!IsContinuation(text.substr(start, end + 1 - start))) ++count;
  }
  return count;
}

}  // namespace

void TFtpClient::CreateDataConnection(bool with_packet_event) {
  data_connection_ = std::make_unique<TStreamSocket>();
  data_connection_->TimeOut = TimeOut;
  data_connection_->StallTime = StallTime;
  data_connection_->MinRate = MinRate;
  data_connection_->Role = "Data connection";
  data_connection_->RateLimit = RateLimit;
  data_connection_->ReopenAfterClose = false;  // dropped after its one transfer
  if (with_packet_event && OnPacketRecvd) data_connection_->OnPacketRecvd = OnPacketRecvd;
}

void TFtpClient::CloseDataConnection() {
  if (!data_connection_) return;
  last_transfer_bytes_ = resume_offset_ + data_connection_->BytesRecvd();
  resume_offset_ = 0;
  data_connection_.reset();
}

std::optional<std::string> TFtpClient::SetUpDataConnection(bool report_port) {
  data_passive_ = Passive && OpenPassiveDataConnection();
  if (data_passive_) return std::nullopt;
  std::string reply = SendPort(report_port);
  if (RefusesCommand(reply_number_)) return reply;
  return std::nullopt;
}

// True when connected to the port of a "229" or "227" reply; false when
// the server refused "PASV" and, on IPv6, "EPSV" (or named no port). A
// command refused is not asked again.
bool TFtpClient::OpenPassiveDataConnection() {
  int port = 0;
  if (PeerIsIpv6() && !epsv_refused_) {
    std::string reply = Transaction("EPSV");
    if (reply.empty()) throw ESockError("Connection closed by the server");
    port = reply_number_ == 229 ? ExtendedPassivePort(reply) : 0;
    epsv_refused_ = port == 0;
  }
  if (port == 0 && !pasv_refused_) {
    std::string reply = Transaction("PASV");
    if (reply.empty()) throw ESockError("Connection closed by the server");
    port = reply_number_ == 227 ? PassivePort(reply) : 0;
    pasv_refused_ = port == 0;
  }
  if (port == 0) return false;
  // The address in the reply is not used: a server could name any host
  // there and have the updater connect to it.
  data_connection_->Host = PeerAddress();
  data_connection_->Port = port;
  data_connection_->Connect();
  return true;
}

std::string TFtpClient::SendPort(bool report) {
  data_connection_->Port = 0;
  std::string command;
  if (PeerIsIpv6()) {
    data_connection_->Listen(true, platform::AddressFamily::kIpv6);
    command = "EPRT |2|" + LocalAddress() + "|" + std::to_string(data_connection_->LocalPort()) + "|";
  } else {
    data_connection_->Listen(true);
    command = "PORT " + LocalAddressForPort() + data_connection_->PortSuffix();
  }
  if (report) ReportStatus(1, command);
  return Transaction(command);
}

void TFtpClient::AcceptDataConnection() {
  if (!data_passive_) data_connection_->Accept();
}

void TFtpClient::SettleFailedTransfer(TStreamSocket& data, bool send_abort) {
  try {
    data.RequestCloseSocket();  // tells the server the transfer is over
    int owed = 1;
    if (send_abort) {
      Writeln("ABOR");
      owed = 2;
    }
    auto start = std::chrono::steady_clock::now();
    std::string replies;
    // A server that answers without end is cut off at one reply's bound.
    while (connected_ && FinalLines(replies) < owed && replies.size() <= ReplyLimits{}.max_bytes &&
           std::chrono::steady_clock::now() - start <= kAbortReplyWait) {
      std::string text = Read(0);
      if (text.empty()) platform::WaitForEvent(2);
      replies += text;
    }
    if (!replies.empty()) ReportStatus(1, replies);
  } catch (const std::exception&) {
    // The transfer's own failure is the one to report; a broken control
    // connection shows itself at the next command.
  }
}

void TFtpClient::AbortReplyWait() {
  canceled_ = false;
  auto start = std::chrono::steady_clock::now();
  std::string text;
  for (;;) {
    text = Read(0);
    if (!text.empty() || std::chrono::steady_clock::now() - start > kAbortReplyWait) break;
    platform::WaitForEvent(2);
  }
  ReportStatus(1, text);
}
