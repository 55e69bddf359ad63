// The transfers of TFtpClient: Download ("RETR ") and Nlist ("NLST"), each
// over its own data connection.
#include <cctype>

#include "ftp/ftp_client.h"
#include "ftp/ftp_reply.h"
#include "transport/download_target.h"
#include "platform/ascii_case.h"
#include "platform/decimal_field.h"
#include "platform/event_loop.h"

namespace {

// An empty reply means the server closed the control connection: the data
// connection it announced will never come, and waiting for it would last
// for good.
void ExpectReply(const std::string& reply) {
  if (reply.empty()) throw ESockError("Connection closed by the server");
}

// Inside a catch block: rethrows what is being handled, a stall with the
// command whose transfer it ended added to its text.
[[noreturn]] void RethrowNamingCommand(const std::string& command) {
  try {
    throw;
  } catch (const EStallError& stall) {
    throw EStallError(std::string(stall.what()) + " (" + command + ")");
  }
}

}  // namespace

int64_t ParseByteCount(const std::string& line) {
  const size_t byte = platform::UpperAsciiCase(line).find("BYTE");
  if (byte == std::string::npos) return 0;
  size_t last = byte;
  while (last > 0 && !std::isdigit(static_cast<unsigned char>(line[last - 1]))) --last;
  if (last == 0) return 0;
  size_t first = last - 1;
  while (first > 0 && std::isdigit(static_cast<unsigned char>(line[first - 1]))) --first;
  return platform::DecimalField(std::string_view(line).substr(first, last - first)).value_or(0);
}

int64_t TFtpClient::BytesRecvd() const {
  return data_connection_ ? resume_offset_ + data_connection_->BytesRecvd() : last_transfer_bytes_;
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
                          int64_t ListedSize, bool Resume) {
  bool success = false;
  canceled_ = false;
  received_file_.reset();
  try {
    CheckConnection();
    if (DataAvailable()) Read(0);  // left over from an earlier command
    CreateDataConnection(true);
    try {
      DownloadSteps(RemoteFile, LocalFile, ListedSize, Resume, success);
    } catch (...) {
      // Cleans up: drops the data connection and settles a cancel, then rethrows.
      CloseDataConnection();
      AbortCanceledDownload();
      RethrowNamingCommand("RETR " + RemoteFile);
    }
    CloseDataConnection();
    AbortCanceledDownload();
    if (success && OnSuccess) OnSuccess(cmdDownload);
  } catch (const std::exception&) {
    // Offered to OnFailure; a handler that sets Handled takes the failure
    // over, and the download ends quietly.
    bool handled = false;
    if (OnFailure) OnFailure(handled, cmdDownload);
    if (!handled) throw;
  }
}

void TFtpClient::DownloadSteps(const std::string& RemoteFile, const std::string& LocalFile, int64_t ListedSize,
                               bool Resume, bool& success) {
  TStreamSocket& data = *data_connection_;
  const std::string& local = LocalFile.empty() ? RemoteFile : LocalFile;
  if (std::optional<std::string> refusal = SetUpDataConnection(false); refusal && RefusedDownloadReply(*refusal)) {
    return;
  }
  if (const int64_t offset = Resume ? HeldBytesToContinue(local, ListedSize) : 0; offset > 0 && RestartAt(offset)) {
    resume_offset_ = offset;
  }
  ReportStatus(1, "RETR " + RemoteFile);
  BytesTotal = 0;
  std::string line;
  {
    ReplyWait wait(*this);
    line = TStreamSocket::Transaction("RETR " + RemoteFile);
    if (RefusesCommand(reply_number_) && RefusedDownloadReply(line)) return;
    ExpectReply(line);
    BytesTotal = ParseByteCount(line);
    FtpReply reply("Reply to RETR");
    while (reply.Take(line)) {
      line = ReadLn();
      ReportStatus(1, line);
      if (BytesTotal == 0) BytesTotal = ParseByteCount(line);
    }
  }
  try {
    AcceptDataConnection();
    BytesTotal = ParseByteCount(line);
    // Many servers announce no size; the caller's listed size keeps the
    // progress display's total right.
    if ((BytesTotal == 0 || resume_offset_ > 0) && ListedSize >= 0) BytesTotal = ListedSize;
    if (OnTransactionStart) OnTransactionStart();
    if (!canceled_ && !timed_out_) {
      DownloadTarget target(local, DownloadBound(ListedSize), resume_offset_, OnBytesCaptured);
      ReplayHeldBytes(target);
      if (!canceled_ && !timed_out_ && !data.CaptureFile(target))
        throw ETransferLimit(TransferLimitText(RemoteFile, ListedSize));
    }
  } catch (const ETransferLimit&) {
    BytesTotal = resume_offset_ + data.BytesRecvd();
    SettleFailedTransfer(data, true);
    throw;
  } catch (...) {
    // Cleans up, then rethrows.
    BytesTotal = resume_offset_ + data.BytesRecvd();
    // A cancel is settled by "ABOR" afterwards; any other failure (a local
    // file that cannot be created, a full disk, a reset, a stall) leaves the
    // final reply of "RETR " owed, and the next command would take it for
    // its own.
    if (!canceled_) SettleFailedTransfer(data, false);
    throw;
  }
  if (OnTransactionStop) OnTransactionStop();
  data.RequestCloseSocket();
  BytesTotal = resume_offset_ + data.BytesRecvd();
  if (Reporting(1)) ReportStatus(1, "Received " + std::to_string(data.BytesRecvd()) + " Bytes");
  if (!canceled_ && !timed_out_) ReadFinalReply("RETR");
  if (OnTransactionStop) OnTransactionStop();
  received_file_ = data.CapturedFile();
  success = true;
}

void TFtpClient::AbortCanceledDownload() {
  if (!canceled_) return;
  canceled_ = false;
  Transaction("ABOR");
}

bool TFtpClient::RestartAt(int64_t offset) {
  const std::string command = "REST " + std::to_string(offset);
  ReportStatus(1, command);
  const std::string reply = Transaction(command);
  ExpectReply(reply);
  return reply_number_ == 350;
}

void TFtpClient::ReplayHeldBytes(DownloadTarget& target) {
  replaying_local_bytes_ = true;
  struct Replaying {
    bool& flag;
    ~Replaying() { flag = false; }
  } replaying{replaying_local_bytes_};
  target.ReplayHeld();
}

void TFtpClient::Nlist() {
  bool success = false;
  canceled_ = false;
  CheckConnection();
  CreateDataConnection(false);
  try {
    if (DataAvailable()) Read(0);  // left over from an earlier command
    if (std::optional<std::string> refusal = SetUpDataConnection(true)) throw FTPException(*refusal);
    ReportStatus(1, "NLST");
    std::string reply = Transaction("NLST");
    if (RefusesCommand(reply_number_)) throw FTPException(reply);
    ExpectReply(reply);
    BytesTotal = ParseByteCount(reply);
    try {
      AcceptDataConnection();
      if (OnTransactionStart) OnTransactionStart();
      if (!canceled_ && !timed_out_) ReceiveListing();
    } catch (const ETransferLimit&) {
      SettleFailedTransfer(*data_connection_, true);
      throw;
    } catch (...) {
      // Cleans up, then rethrows. As for a download: unless a cancel
      // settles it, the final reply of "NLST" is still owed, and the next
      // command would take it for its own.
      if (!canceled_) SettleFailedTransfer(*data_connection_, false);
      throw;
    }
    if (OnTransactionStop) OnTransactionStop();
    data_connection_->RequestCloseSocket();
    BytesTotal = data_connection_->BytesRecvd();
    if (Reporting(1)) ReportStatus(1, "Received " + std::to_string(BytesTotal) + " Bytes");
    if (!canceled_ && !timed_out_) ReadFinalReply("NLST");
    // A cancel does not cut the listing short, so it counts as complete.
    success = true;
  } catch (...) {
    // Cleans up: drops the data connection and waits out a cancel's
    // reply, then rethrows.
    CloseDataConnection();
    if (canceled_) AbortReplyWait();
    RethrowNamingCommand("NLST");
  }
  CloseDataConnection();
  if (success && OnSuccess) OnSuccess(cmdNList);
  if (canceled_) AbortReplyWait();
}

void TFtpClient::ReceiveListing() {
  TStreamSocket& data = *data_connection_;
  int64_t received = 0;
  data.RestartStallClock();
  data.StartRateFloor();
  // Reads until the server has closed the data connection and no line is
  // left, or until the final reply shows up on the control connection.
  for (;;) {
    bool pending = data.DataAvailable();
    if (pending) {
      std::string line = data.ReadLn();
      received += static_cast<int64_t>(line.size());
      if (received > kUnlistedTransferLimit) {
        throw ETransferLimit("Listing stopped: the server sent more than " + UnlistedLimitText() +
                             ", the limit for a listing");
      }
      data.RestartStallClock();
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
      data.ThrowIfStalled(false);
      data.ThrowIfTooSlow();
      platform::WaitForEvent(2);
    }
    if (data.DataAvailable()) continue;
    if (!data.Connected() || DataAvailable()) break;
  }
}
