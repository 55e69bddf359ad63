// TFtpClient::DownloadRange: one byte range of a file, "REST " then
// "RETR ", cut off by "ABOR" once the range has come.
#include "ftp/ftp_client.h"
#include "ftp/ftp_reply.h"
#include "transport/download_target.h"

namespace {

std::string RangeWords(const std::string& remote, int64_t offset, int64_t length) {
  return std::to_string(length) + " bytes at " + std::to_string(offset) + " of " + remote;
}

}  // namespace

void TFtpClient::DownloadRange(const std::string& RemoteFile, int64_t Offset, int64_t Length, bool ToEnd) {
  canceled_ = false;
  received_file_.reset();
  CheckConnection();
  if (DataAvailable()) Read(0);  // left over from an earlier command
  CreateDataConnection(true);
  try {
    RangeSteps(RemoteFile, Offset, Length, ToEnd);
  } catch (const EStallError& stall) {
    // As Download's: the text names the command whose transfer stalled.
    CloseDataConnection();
    AbortCanceledDownload();
    throw EStallError(std::string(stall.what()) + " (RETR " + RemoteFile + ")");
  } catch (...) {
    // Cleans up: drops the data connection and settles a cancel, then rethrows.
    CloseDataConnection();
    AbortCanceledDownload();
    throw;
  }
  CloseDataConnection();
  AbortCanceledDownload();
}

void TFtpClient::RangeSteps(const std::string& RemoteFile, int64_t Offset, int64_t Length, bool ToEnd) {
  TStreamSocket& data = *data_connection_;
  if (std::optional<std::string> refusal = SetUpDataConnection(false)) throw FTPException(*refusal);
  if (Offset > 0 && !RestartAt(Offset)) throw FTPException(TransactionReply());
  ReportStatus(1, "RETR " + RemoteFile);
  BytesTotal = Length;
  {
    ReplyWait wait(*this);
    std::string line = TStreamSocket::Transaction("RETR " + RemoteFile);
    if (RefusesCommand(reply_number_)) throw FTPException(line);
    if (line.empty()) throw ESockError("Connection closed by the server");
    FtpReply reply("Reply to RETR");
    while (reply.Take(line)) {
      line = ReadLn();
      ReportStatus(1, line);
    }
  }
  bool ended = false;  // the server closed the data connection
  try {
    AcceptDataConnection();
    if (OnTransactionStart) OnTransactionStart();
    if (canceled_ || timed_out_) throw EAbortError("Socket send aborted");
    DownloadTarget target(Length, OnBytesCaptured);
    ended = data.CaptureFile(target);
  } catch (...) {
    // Cleans up, then rethrows: the final reply of "RETR " is owed (see
    // Download), and after a cancel "ABOR" and its reply too. Both are
    // awaited here, so that the next range's commands get their own.
    const bool canceled = canceled_;
    canceled_ = false;
    SettleFailedTransfer(data, canceled);
    throw;
  }
  const int64_t received = data.BytesRecvd();
  if (!ended) {
    // The range has come; the rest of the file is not wanted.
    SettleFailedTransfer(data, true);
    if (ToEnd) {
      throw EDownloadError(DownloadFailure::kRefused, "The server sent more than the " +
                                                          RangeWords(RemoteFile, Offset, Length) +
                                                          ", which should end the file");
    }
  } else {
    data.RequestCloseSocket();
    if (!canceled_ && !timed_out_) ReadFinalReply("RETR");
    if (received != Length) {
      throw EDownloadError(DownloadFailure::kRefused, "The server sent " + std::to_string(received) +
                                                          " bytes where " + RangeWords(RemoteFile, Offset, Length) +
                                                          " were asked for");
    }
  }
  if (Reporting(1)) ReportStatus(1, "Received " + std::to_string(std::min(received, Length)) + " Bytes");
  if (OnTransactionStop) OnTransactionStop();
}
