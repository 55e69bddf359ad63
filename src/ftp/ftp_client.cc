// The FTP control connection: connecting, logging in, replies, QUIT.
#include "ftp/ftp_client.h"

namespace {

bool IsContinuation(const std::string& line) {
  return (!line.empty() && line[0] == ' ') || (line.size() >= 4 && line[3] == '-');
}

bool Refused(int code) { return code > 400 && code < 600; }

// The reply code of a line such as "421 Too many users", 0 when it has none.
int LeadingCode(const std::string& line) {
  int code = 0;
  for (size_t i = 0; i < line.size() && i < 3 && line[i] >= '0' && line[i] <= '9'; ++i) {
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

}  // namespace

TFtpClient::TFtpClient() {
  Port = 21;
  StallTime = kDefaultStallTime;
  Role = "Control connection";
}

TFtpClient::~TFtpClient() {
  Cancel();
  BeginDestruction([this] { TFtpClient::Abort(); });
  data_connection_.reset();
}

std::string TFtpClient::Transaction(const std::string& command) {
  std::string reply = TStreamSocket::Transaction(command);
  ReadReplyRest(reply);
  return reply;
}

void TFtpClient::ReadReplyRest(const std::string& line) { ReadReplyTail(line); }

std::string TFtpClient::ReadReplyTail(std::string line) {
  while (IsContinuation(line)) {
    line = ReadLn();
    ReportStatus(1, line);
  }
  return line;
}

void TFtpClient::Abort() {
  if (data_connection_) data_connection_->Cancel();
}

void TFtpClient::Connect() {
  canceled_ = false;
  if (connected_) return;
  pasv_refused_ = false;
  // The server line's TimeOut bounds the login; StallTime takes over after it.
  stall_suspended_ = true;
  struct StallGuard {
    TFtpClient* self;
    ~StallGuard() { self->stall_suspended_ = false; }
  } guard{this};
  ClearInput();
  TStreamSocket::Connect();
  try {
    Login();
  } catch (...) {
    // Cleans up a failed login: says goodbye and closes, then rethrows.
    try {
      Disconnect();
    } catch (const std::exception&) {
      // The caller learns of the failure from the login's exception; a
      // second failure while saying goodbye would only hide it.
    }
    ReportStatus(1, "Disconnected");
    throw;
  }
}

void TFtpClient::FailLogin(const std::string& reply) {
  if (OnConnectionFailed) OnConnectionFailed();
  throw FTPException(reply);
}

void TFtpClient::Login() {
  // The greeting, continuation lines and all. A greeting that refuses the
  // session (421 and the like) ends the login here.
  std::string greeting_end = ReadReplyTail(" ");
  if (Refused(LeadingCode(greeting_end))) FailLogin(greeting_end);

  if (FWAuthenticate) {
    std::string reply = Transaction("USER " + FWUserID);
    if (Refused(reply_number_)) FailLogin(reply);
    if (reply_number_ == 331) {
      ReportStatus(1, "PASS ");
      reply = Transaction("PASS " + FWPassword);
      if (Refused(reply_number_)) FailLogin(reply);
    }
  }
  if ((UserID.empty() || Password.empty()) && OnAuthenticationNeeded) {
    bool handled = false;  // not examined: the handler fills in what it can
    OnAuthenticationNeeded(handled);
  }
  if (!Proxy.empty()) {
    // Only names the target; whatever the proxy answers, the login goes on.
    switch (FirewallType) {
      case FTUser: Transaction("USER " + UserID + "@" + Host); break;
      case FtOpen: Transaction("OPEN " + Host); break;
      case FtSite: Transaction("SITE " + Host); break;
    }
  }
  if (Proxy.empty() || FirewallType != FTUser) {
    ReportStatus(1, "USER " + UserID);
    std::string reply = Transaction("USER " + UserID);
    if (Refused(reply_number_)) FailLogin(reply);
  }
  if (reply_number_ == 331) {
    ReportStatus(1, "PASS ");
    std::string reply = Transaction("PASS " + Password);
    if (Refused(reply_number_)) FailLogin(reply);
  }
  // Files are fetched byte for byte: without this a server keeping the
  // protocol's default ASCII type would rewrite line ends in binary files.
  // A server that refuses it is used as it is.
  Transaction("TYPE I");
  if (OnConnect) OnConnect();
}

void TFtpClient::Disconnect() {
  canceled_ = false;
  if (!connected_) return;
  ReportStatus(1, "QUIT");
  try {
    if (DataAvailable()) Read(0);
    std::string reply = Transaction("QUIT");
    if (reply_number_ > 300 && reply_number_ < 600) throw FTPException(reply);
  } catch (...) {
    // Closes the socket whatever the goodbye met, then rethrows.
    TStreamSocket::Disconnect();
    throw;
  }
  TStreamSocket::Disconnect();
}
