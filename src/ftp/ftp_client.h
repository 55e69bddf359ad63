// TFtpClient: the FTP client component. Its own socket carries the control
// connection; each transfer opens a second TStreamSocket for the data.
// Every operation blocks its caller while pumping messages (see
// stream_socket.h), so event handlers run inside them. A client and its
// handlers stay on the thread that made it: the user-interface thread, or a
// prefetching helper's own thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ftp/stream_socket.h"
#include "transport/transport.h"

// An FTP reply refused the operation; the message is that reply line as
// received, line end included.
class FTPException : public Exception {
 public:
  using Exception::Exception;
};


// The StallTime of a new TFtpClient: how long a transfer may go without
// progress before it fails.
constexpr int32_t kDefaultStallTime = 30000;
// The MinRate of a new TFtpClient, in bytes per second.
constexpr int32_t kDefaultMinRate = 1024;

// The command code that result events carry (values fixed: 0 to 14).
enum TCmdType {
  cmdChangeDir = 0,
  cmdMakeDir,
  cmdDelete,
  cmdRemoveDir,
  cmdList,
  cmdRename,
  cmdUploadRestore,
  cmdDownloadRestore,
  cmdDownload,
  cmdUpload,
  cmdUploadAppend,
  cmdReInit,
  cmdAllocate,
  cmdNList,
  cmdDoCommand,
};

// How the target host is named through a firewall/proxy.
enum TFirewallType { FTUser = 0, FtOpen = 1, FtSite = 2 };

using TFailureEvent = std::function<void(bool& Handled, TCmdType Trans_Type)>;
using TSuccessEvent = std::function<void(TCmdType Trans_Type)>;
using TListItemEvent = std::function<void(const std::string& Listing)>;

// The size announced in a transfer reply: the number nearest in front of
// the first "BYTE" (any case), e.g. 123456 for "150 ... (123456 bytes).";
// 0 when there is none or it does not fit.
int64_t ParseByteCount(const std::string& line);

// StallTime (default kDefaultStallTime) bounds every wait after the login:
// no reply on the control connection, no data connection opened, no byte
// received on it; and each reply as a whole, which must have arrived
// within StallTime of the wait's start. MinRate (default kDefaultMinRate)
// is the floor under the transfers' data (see TStreamSocket::MinRate).
// The login is bounded by TimeOut alone, as one deadline from the start of
// Connect to the end of the login. No reply may have more than 1000 lines
// or 1 MiB (EReplyTooLong, ftp_reply.h).
class TFtpClient : public TStreamSocket {
 public:
  TFtpClient();
  // Cancels what runs and closes the connection without "QUIT".
  ~TFtpClient() override;

  std::string UserID;
  std::string Password;
  // Data connections by "PASV" first, to the address the control
  // connection reached (never the one a "227" names); by "PORT " when the
  // server refuses "PASV" (it is then not asked again on this connection).
  // False: "PORT " only. On an IPv6 connection, whose address "PASV" and
  // "PORT " cannot carry, "EPSV" comes before "PASV" (each refused one not
  // asked again) and "EPRT " takes the place of "PORT ".
  bool Passive = true;
  TFirewallType FirewallType = FTUser;
  std::string FWUserID;
  std::string FWPassword;
  bool FWAuthenticate = false;  // log in to the firewall first

  TNotifyEvent OnConnect;  // after a successful login (replaces the socket-level one)
  THandlerEvent OnAuthenticationNeeded;  // UserID or Password empty at login
  TNotifyEvent OnTransactionStart;       // the data connection is up, no data yet
  TNotifyEvent OnTransactionStop;        // Download: twice; Nlist: once
  TListItemEvent OnListItem;             // one name of an Nlist, line end removed
  TFailureEvent OnFailure;               // Download failed; Handled = end quietly
  TSuccessEvent OnSuccess;
  // Download: the file's bytes in order, each piece once it is written (in
  // pieces of up to a megabyte, each after the OnPacketRecvd of its blocks).
  platform::BlockConsumer OnBytesCaptured;

  // Connects and logs in; on a connected object does nothing. Raises
  // OnHostResolved (for a name), reports the greeting and replies, sends
  // "TYPE I" (a refusal is ignored) and raises OnConnect. A refused login
  // (or a greeting of 401..599) raises OnConnectionFailed, sends "QUIT",
  // closes (OnDisconnect), reports "Disconnected" and throws FTPException
  // with the refusing reply. A login not done within TimeOut of the call,
  // however the server spends it, ends the same way with ESockError
  // "Connection Timed out" (no OnConnectionFailed); a reply past its
  // bounds with EReplyTooLong.
  // Resolve/connect failures: see TStreamSocket.
  void Connect() override;
  // "QUIT", then close (OnDisconnect). Nothing when not connected. Throws
  // FTPException when "QUIT" is refused, after closing.
  void Disconnect() override;
  // The command and its whole reply; the result is the first reply line.
  std::string Transaction(const std::string& command) override;
  // Cancels the running transfer's data connection, if any: its capture or
  // listing ends with EAbortError.
  void Abort() override;
  // Reads and reports the rest of a multi-line reply whose first line is given.
  void ReadReplyRest(const std::string& line);

  // Receives RemoteFile into LocalFile (a real path; "" = RemoteFile),
  // created or truncated. Events in order: OnTransactionStart, OnPacketRecvd
  // per block, OnTransactionStop, OnTransactionStop, OnSuccess(cmdDownload).
  // On failure: OnFailure(cmdDownload) (twice for a refused reply) and the
  // exception, unless a handler set Handled. A Cancel() during the data
  // transfer skips the final reply and sends "ABOR". Any other failure
  // after the server accepted "RETR " (a local file that cannot be created,
  // a full disk, a reset) first closes the data connection and reads the
  // final reply, waiting at most about 0.95 s, so the connection stays in
  // step for the next command.
  // A wait that sees no progress for StallTime ends with EStallError, whose
  // text names the connection and the command ("Data connection timed
  // out: nothing received for 30 s (RETR x.gz)").
  // OnBytesCaptured, when set, receives the file's bytes as they are
  // written to LocalFile.
  // ListedSize (-1 = none) is the size the caller expects; it stands in for
  // BytesTotal at OnTransactionStart when the server announces no size.
  // Once more than ListedSize bytes (kUnlistedTransferLimit when none) have
  // arrived, the data connection is closed, "ABOR" sent and the owed
  // replies read (at most about 0.95 s), and ETransferLimit thrown.
  // After the data connection closed, also by a failure, BytesTotal is the
  // number of bytes received (one past the bound after ETransferLimit).
  // With Resume, a LocalFile that already holds the first K bytes of the
  // file (K above 0 and below ListedSize, or below kUnlistedTransferLimit
  // when none is listed) is continued: "REST K" is reported and sent after
  // the data connection is set up, before "RETR ". On a "350" reply the
  // bytes that arrive are added after the K, OnBytesCaptured first receives
  // the K bytes read back from LocalFile (pumping messages between blocks),
  // and the transfer counts as the whole file: BytesRecvd, BytesTotal and
  // the ListedSize bound include K, and BytesTotal at OnTransactionStart is
  // ListedSize when there is one (servers differ in whether they announce
  // the whole file or the rest). "Received N Bytes" counts only what came
  // over the data connection. Any other reply to "REST " starts the file
  // over from byte 0, truncated, as a download without Resume does; no
  // event tells.
  void Download(const std::string& RemoteFile, const std::string& LocalFile,
                int64_t ListedSize = -1, bool Resume = false);
  // Receives `Length` bytes of RemoteFile from byte `Offset` on, into
  // OnBytesCaptured alone (no local file): "REST Offset" (none for 0),
  // "RETR ", and once the Length bytes have come (and one more, which
  // OnBytesCaptured hears too: the capture's bound) the data connection
  // is closed and "ABOR" sent, its owed replies read as after an
  // overrun. With ToEnd the range is the file's last bytes: the transfer
  // is read to its end and its final reply read, as Download does.
  // Events: OnTransactionStart, OnPacketRecvd per block,
  // OnTransactionStop; no OnFailure or OnSuccess. BytesRecvd counts this
  // range's bytes. Throws FTPException with the reply that refused "REST "
  // or "RETR "; EDownloadError(kRefused) when a file ToEnd is longer or
  // the transfer ended short of Length bytes; otherwise as Download. A
  // Cancel() sends "ABOR" as Download's does; Abort() ends the capture.
  void DownloadRange(const std::string& RemoteFile, int64_t Offset, int64_t Length, bool ToEnd);
  // Lists the current remote folder ("NLST", data connection as Passive
  // says): OnListItem per name, then OnTransactionStop and
  // OnSuccess(cmdNList). Throws FTPException for a refused "PORT " or
  // "NLST". After a Cancel() it still reads the listing to its end (and
  // raises OnSuccess), then waits up to 0.95 s for a reply to discard. A
  // listing that fails otherwise (a line longer than kBufferSize, a reset,
  // EStallError) reads the owed final reply as Download does; one longer
  // than kUnlistedTransferLimit is aborted as Download aborts, with
  // ETransferLimit.
  void Nlist();

  // The byte count of the running transfer; between transfers, that of the
  // last one.
  int64_t BytesRecvd() const;
  // The file the last Download wrote into, when it ended without failure;
  // nullopt otherwise (a failure a handler took over included).
  const std::optional<platform::FileIdentity>& ReceivedFile() const { return received_file_; }
  // While a resumed download hands the bytes already in its local file to
  // OnBytesCaptured: they were not received now.
  bool ReplayingLocalBytes() const { return replaying_local_bytes_; }
  // The data connection of the running transfer, or nullptr.
  TStreamSocket* DataConnection() const { return data_connection_.get(); }

 private:
  // Holds the deadline of one reply for its lifetime, once logged in (see
  // the class comment). One nested inside another keeps the outer one's.
  class ReplyWait {
   public:
    explicit ReplyWait(TFtpClient& client);
    ~ReplyWait();
    ReplyWait(const ReplyWait&) = delete;
    ReplyWait& operator=(const ReplyWait&) = delete;

   private:
    TFtpClient& client_;
    bool set_ = false;
  };

  [[noreturn]] void FailLogin(const std::string& reply);
  void Login();
  // Reads and reports the greeting; returns its last line.
  std::string ReadGreeting();
  // Reads and reports the lines that follow `line`, the first of a reply
  // that `what` names in errors; returns the last one.
  std::string ReadReplyTail(std::string line, const std::string& what);
  // The final reply of a transfer: reads its first line, reports it, and
  // unless Canceled or TimedOut the rest.
  void ReadFinalReply(const std::string& command);
  void CreateDataConnection(bool with_packet_event);
  void CloseDataConnection();
  // Readies the data connection before the transfer command: connected
  // (passive) or listening (active, see AcceptDataConnection). Returns the
  // reply that refused "PORT " (or "EPRT "), nullopt when ready. Reports
  // that command first when report_port.
  std::optional<std::string> SetUpDataConnection(bool report_port);
  bool OpenPassiveDataConnection();
  std::string SendPort(bool report);
  // Once the transfer command is accepted: takes the server's connection
  // in active mode; nothing in passive mode.
  void AcceptDataConnection();
  bool RefusedDownloadReply(const std::string& reply);
  void DownloadSteps(const std::string& RemoteFile, const std::string& LocalFile, int64_t ListedSize,
                     bool Resume, bool& success);
  void RangeSteps(const std::string& RemoteFile, int64_t Offset, int64_t Length, bool ToEnd);
  // Asks the server to start the next transfer at byte `offset` ("REST ");
  // true when it agreed ("350").
  bool RestartAt(int64_t offset);
  // Hands OnBytesCaptured the bytes a continued download already holds
  // (DownloadTarget::ReplayHeld), with ReplayingLocalBytes true meanwhile.
  void ReplayHeldBytes(DownloadTarget& target);
  void ReceiveListing();
  // After a transfer failed while the server still owes its final reply:
  // closes the data connection, sends "ABOR" when send_abort (a reply to
  // it is then owed too), then reads and reports the owed replies, waiting
  // at most about 0.95 s; swallows errors. Pumps messages.
  void SettleFailedTransfer(TStreamSocket& data, bool send_abort);
  // A cancelled download, its data connection gone, is settled with "ABOR".
  void AbortCanceledDownload();
  void AbortReplyWait();

  std::unique_ptr<TStreamSocket> data_connection_;
  bool replaying_local_bytes_ = false;
  bool data_passive_ = false;  // how the running transfer's data connection was made
  bool pasv_refused_ = false;  // the server refused "PASV" on this connection
  bool epsv_refused_ = false;  // the same for "EPSV"
  int64_t last_transfer_bytes_ = 0;
  // The bytes the local file held before the running download continued
  // it; 0 when it started from byte 0.
  int64_t resume_offset_ = 0;
  std::optional<platform::FileIdentity> received_file_;
};
