// The data connection of TFtpClient's transfers: made by "PASV" or "PORT ",
// and settled when a transfer fails while the server still owes replies.
#include <cctype>
#include <chrono>

#include "ftp/ftp_client.h"
#include "platform/event_loop.h"

namespace {

bool IsContinuation(const std::string& line) {
  return (!line.empty() && line[0] == ' ') || (line.size() >= 4 && line[3] == '-');
}

bool RefusedCommand(int code) { return code > 300 && code < 600; }

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

// The data port of a "227" reply: the last two of the six numbers that
// follow the reply code, as in "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2).",
// with or without the parentheses. 0 when there are not six numbers of 0
// to 255 separated by commas.
int PassivePort(const std::string& reply) {
  size_t at = 3;
  while (at < reply.size() && !std::isdigit(static_cast<unsigned char>(reply[at]))) ++at;
  int numbers[6];
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      if (at >= reply.size() || reply[at] != ',') return 0;
      ++at;
    }
    size_t first = at;
    int value = 0;
    while (at < reply.size() && std::isdigit(static_cast<unsigned char>(reply[at])) && at - first < 3) {
      value = value * 10 + (reply[at++] - '0');
    }
    if (at == first || value > 255) return 0;
    numbers[i] = value;
  }
  return numbers[4] * 256 + numbers[5];
}

}  // namespace

void TFtpClient::CreateDataConnection(bool with_packet_event) {
  data_connection_ = std::make_unique<TStreamSocket>();
  data_connection_->TimeOut = TimeOut;
  data_connection_->StallTime = StallTime;
  data_connection_->Role = "Data connection";
  data_connection_->RateLimit = RateLimit;
  data_connection_->ReopenAfterClose = false;  // dropped after its one transfer
  if (with_packet_event && OnPacketRecvd) data_connection_->OnPacketRecvd = OnPacketRecvd;
  if (with_packet_event) data_connection_->OnBytesCaptured = OnBytesCaptured;
}

void TFtpClient::CloseDataConnection() {
  if (!data_connection_) return;
  last_transfer_bytes_ = resume_offset_ + data_connection_->BytesRecvd();
  resume_offset_ = 0;
  data_connection_.reset();
}

std::optional<std::string> TFtpClient::SetUpDataConnection(bool report_port) {
  data_passive_ = Passive && !pasv_refused_ && OpenPassiveDataConnection();
  if (data_passive_) return std::nullopt;
  std::string reply = SendPort(report_port);
  if (RefusedCommand(reply_number_)) return reply;
  return std::nullopt;
}

// True when connected to the port of a "227" reply; false when the server
// refused "PASV" (or named no port), which is then not asked again.
bool TFtpClient::OpenPassiveDataConnection() {
  std::string reply = Transaction("PASV");
  if (reply.empty()) throw ESockError("Connection closed by the server");
  int port = reply_number_ == 227 ? PassivePort(reply) : 0;
  if (port == 0) {
    pasv_refused_ = true;
    return false;
  }
  // The address in the reply is not used: a server could name any host
  // there and have the updater connect to it.
  data_connection_->Host = PeerAddress();
  data_connection_->Port = port;
  data_connection_->Connect();
  return true;
}

std::string TFtpClient::SendPort(bool report) {
  data_connection_->Port = 0;
  data_connection_->Listen(true);
  std::string command = "PORT " + LocalAddressForPort() + data_connection_->PortSuffix();
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
    while (connected_ && FinalLines(replies) < owed && std::chrono::steady_clock::now() - start <= kAbortReplyWait) {
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
