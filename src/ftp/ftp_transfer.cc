// The transfers of TFtpClient: Download ("RETR ") and Nlist ("NLST"), each
// over its own data connection.
#include <cctype>
#include <chrono>

#include "ftp/ftp_client.h"
#include "platform/event_loop.h"

namespace {

bool IsContinuation(const std::string& line) {
  return (!line.empty() && line[0] == ' ') || (line.size() >= 4 && line[3] == '-');
}

bool RefusedCommand(int code) { return code > 300 && code < 600; }

// An empty reply means the server closed the control connection: the data
// connection it announced will never come, and waiting for it would last
// for good.
void ExpectReply(const std::string& reply) {
  if (reply.empty()) throw ESockError("Connection closed by the server");
}

// How long a cancelled listing, or a download that failed after the server
// accepted it, waits for the reply the server still owes.
constexpr auto kAbortReplyWait = std::chrono::microseconds(950400);

// True when text ends with the last line of a reply (a whole line that is
// no continuation line).
bool EndsWithFinalLine(const std::string& text) {
  if (text.empty() || text.back() != '\n') return false;
  size_t start = text.find_last_of('\n', text.size() - 2);
  start = start == std::string::npos ? 0 : start + 1;
  return !IsContinuation(text.substr(start));
}

// The n-th comma-separated field of text, counted from 1; "" when missing.
std::string CommaField(const std::string& text, int n) {
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    start = text.find(',', start);
    if (start == std::string::npos) return "";
    ++start;
  }
  size_t end = text.find(',', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

int64_t ParseByteCount(const std::string& line) {
  std::string upper = line;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  size_t byte = upper.find("BYTE");
  if (byte == std::string::npos) return 0;
  size_t last = byte;
  while (last > 0 && !std::isdigit(static_cast<unsigned char>(line[last - 1]))) --last;
  if (last == 0) return 0;
  size_t first = last - 1;
  while (first > 0 && std::isdigit(static_cast<unsigned char>(line[first - 1]))) --first;
  int64_t value = 0;
  for (size_t i = first; i < last; ++i) {
    if (value > (INT64_MAX - 9) / 10) return 0;
    value = value * 10 + (line[i] - '0');
  }
  return value;
}

int64_t TFtpClient::BytesRecvd() const {
  return data_connection_ ? data_connection_->BytesRecvd() : last_transfer_bytes_;
}

void TFtpClient::CreateDataConnection(bool with_packet_event) {
  data_connection_ = std::make_unique<TStreamSocket>();
  data_connection_->TimeOut = TimeOut;
  if (with_packet_event && OnPacketRecvd) data_connection_->OnPacketRecvd = OnPacketRecvd;
}

void TFtpClient::CloseDataConnection() {
  if (!data_connection_) return;
  last_transfer_bytes_ = data_connection_->BytesRecvd();
  data_connection_.reset();
}

std::string TFtpClient::SendPort(bool report) {
  data_connection_->Port = 0;
  data_connection_->Listen(true);
  std::string command = "PORT " + LocalAddressForPort() + data_connection_->PortSuffix();
  if (report) ReportStatus(1, command);
  return Transaction(command);
}

bool TFtpClient::OpenPassiveDataConnection() {
  std::string reply = Transaction("PASV");
  if (reply_number_ > 499 && RefusedDownloadReply(reply)) return false;
  std::string low = CommaField(reply, 6);
  low = low.substr(0, low.find(')'));
  int p2 = platform::StrToInt(low);
  int p1 = platform::StrToInt(CommaField(reply, 5));
  data_connection_->Port = p1 * 256 + p2;
  data_connection_->Host = Host;
  data_connection_->Connect();
  return true;
}

// A refused reply of a Download: true when OnFailure handled it (the
// download then ends quietly); otherwise throws FTPException(reply).
bool TFtpClient::RefusedDownloadReply(const std::string& reply) {
  if (OnFailure) {
    bool handled = false;
    OnFailure(handled, cmdDownload);
    if (handled) return true;
  }
  throw FTPException(reply);
}

void TFtpClient::Download(const std::string& RemoteFile, const std::string& LocalFile,
                          int64_t ListedSize) {
  (void)ListedSize;  // the bound is not enforced yet
  bool success = false;
  canceled_ = false;
  try {
    CheckConnection();
    if (DataAvailable()) Read(0);  // left over from an earlier command
    CreateDataConnection(true);
    try {
      DownloadSteps(RemoteFile, LocalFile, success);
    } catch (...) {
      CloseDataConnection();
      if (canceled_) {
        canceled_ = false;
        Transaction("ABOR");
      }
      throw;
    }
    CloseDataConnection();
    if (canceled_) {
      canceled_ = false;
      Transaction("ABOR");
    }
    if (success && OnSuccess) OnSuccess(cmdDownload);
  } catch (...) {
    bool handled = false;
    if (OnFailure) OnFailure(handled, cmdDownload);
    if (!handled) throw;
  }
}

void TFtpClient::DownloadSteps(const std::string& RemoteFile, const std::string& LocalFile, bool& success) {
  TStreamSocket& data = *data_connection_;
  if (Passive) {
    if (!OpenPassiveDataConnection()) return;
  } else {
    SendPort(false);
    if (RefusedCommand(reply_number_) && RefusedDownloadReply(transaction_reply_)) return;
  }
  ReportStatus(1, "RETR " + RemoteFile);
  BytesTotal = 0;
  std::string line = TStreamSocket::Transaction("RETR " + RemoteFile);
  if (RefusedCommand(reply_number_) && RefusedDownloadReply(line)) return;
  ExpectReply(line);
  BytesTotal = ParseByteCount(line);
  while (IsContinuation(line)) {
    line = ReadLn();
    ReportStatus(1, line);
    if (BytesTotal == 0) BytesTotal = ParseByteCount(line);
  }
  try {
    if (!Passive) data.Accept();
    BytesTotal = ParseByteCount(line);
    if (OnTransactionStart) OnTransactionStart();
    if (!canceled_ && !timed_out_) data.CaptureFile(LocalFile.empty() ? RemoteFile : LocalFile);
  } catch (...) {
    // A cancel is settled by "ABOR" afterwards; any other failure (a local
    // file that cannot be created, a full disk, a reset) leaves the final
    // reply of "RETR " owed, and the next command would take it for its own.
    if (!canceled_) ReadOwedReply(data);
    throw;
  }
  if (OnTransactionStop) OnTransactionStop();
  data.RequestCloseSocket();
  BytesTotal = data.BytesRecvd();
  if (Reporting(1)) ReportStatus(1, "Received " + std::to_string(BytesTotal) + " Bytes");
  if (!canceled_ && !timed_out_) {
    line = ReadLn();
    ReportStatus(1, line);
    if (!canceled_ && !timed_out_) ReadReplyRest(line);
  }
  if (OnTransactionStop) OnTransactionStop();
  success = true;
}

void TFtpClient::Nlist() {
  bool success = false;
  canceled_ = false;
  CheckConnection();
  CreateDataConnection(false);
  try {
    if (DataAvailable()) Read(0);  // left over from an earlier command
    std::string reply = SendPort(true);
    if (RefusedCommand(reply_number_)) throw FTPException(reply);
    ReportStatus(1, "NLST");
    reply = Transaction("NLST");
    if (RefusedCommand(reply_number_)) throw FTPException(reply);
    ExpectReply(reply);
    BytesTotal = ParseByteCount(reply);
    try {
      data_connection_->Accept();
      if (OnTransactionStart) OnTransactionStart();
      if (!canceled_ && !timed_out_) ReceiveListing();
    } catch (...) {
      // As for a download: unless a cancel settles it, the final reply of
      // "NLST" is still owed, and the next command would take it for its own.
      if (!canceled_) ReadOwedReply(*data_connection_);
      throw;
    }
    if (OnTransactionStop) OnTransactionStop();
    data_connection_->RequestCloseSocket();
    BytesTotal = data_connection_->BytesRecvd();
    if (Reporting(1)) ReportStatus(1, "Received " + std::to_string(BytesTotal) + " Bytes");
    if (!canceled_ && !timed_out_) {
      std::string line = ReadLn();
      ReportStatus(1, line);
      if (!canceled_ && !timed_out_) ReadReplyRest(line);
    }
    // A cancel does not cut the listing short, so it counts as complete.
    success = true;
  } catch (...) {
    CloseDataConnection();
    if (canceled_) AbortReplyWait();
    throw;
  }
  CloseDataConnection();
  if (success && OnSuccess) OnSuccess(cmdNList);
  if (canceled_) AbortReplyWait();
}

void TFtpClient::ReceiveListing() {
  TStreamSocket& data = *data_connection_;
  // Reads until the server has closed the data connection and no line is
  // left, or until the final reply shows up on the control connection.
  for (;;) {
    bool pending = data.DataAvailable();
    if (pending) {
      std::string line = data.ReadLn();
      // The last name may come without a line end; it is kept whole.
      if (line.size() > 2 && line.back() == '\n') {
        line.resize(line.size() - (line[line.size() - 2] == '\r' ? 2 : 1));
      }
      if (!line.empty() && OnListItem) OnListItem(line);
    } else {
      // Abort ends the wait for the next name as it ends a line read: a
      // server that holds the data connection open and silent would
      // otherwise keep the listing waiting for good.
      if (data.Canceled()) throw EAbortError("Socket readln aborted");
      platform::WaitForEvent(2);
    }
    if (data.DataAvailable()) continue;
    if (!data.Connected() || DataAvailable()) break;
  }
}

void TFtpClient::ReadOwedReply(TStreamSocket& data) {
  try {
    data.RequestCloseSocket();  // tells the server the transfer is over
    auto start = std::chrono::steady_clock::now();
    std::string reply;
    while (connected_ && !EndsWithFinalLine(reply) && std::chrono::steady_clock::now() - start <= kAbortReplyWait) {
      std::string text = Read(0);
      if (text.empty()) platform::WaitForEvent(2);
      reply += text;
    }
    if (!reply.empty()) ReportStatus(1, reply);
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
