// The FTP control connection: connecting, logging in, replies, QUIT.
#include "ftp/ftp_client.h"

#include "ftp/ftp_reply.h"

namespace {

// "Reply to USER" for "USER player": the command word only, so that no
// password reaches an error text.
std::string ReplyName(const std::string& command) { return "Reply to " + command.substr(0, command.find(' ')); }

}  // namespace

TFtpClient::TFtpClient() {
  Port = 21;
  StallTime = kDefaultStallTime;
  MinRate = kDefaultMinRate;
  Role = "Control connection";
}

TFtpClient::~TFtpClient() {
  Cancel();
  BeginDestruction([this] { TFtpClient::Abort(); });
  data_connection_.reset();
}

TFtpClient::ReplyWait::ReplyWait(TFtpClient& client) : client_(client) {
  if (client_.reply_deadline_ || client_.stall_suspended_ || client_.StallTime <= 0) return;
  client_.reply_deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(client_.StallTime);
  client_.reply_heard_ = false;
  set_ = true;
}

TFtpClient::ReplyWait::~ReplyWait() {
  if (set_) client_.reply_deadline_.reset();
}

std::string TFtpClient::Transaction(const std::string& command) {
  ReplyWait wait(*this);
  std::string reply = TStreamSocket::Transaction(command);
  ReadReplyTail(reply, ReplyName(command));
  return reply;
}

void TFtpClient::ReadReplyRest(const std::string& line) { ReadReplyTail(line, "Reply"); }

std::string TFtpClient::ReadReplyTail(std::string line, const std::string& what) {
  ReplyWait wait(*this);
  FtpReply reply(what);
  while (reply.Take(line)) {
    line = ReadLn();
    ReportStatus(1, line);
  }
  return line;
}

void TFtpClient::ReadFinalReply(const std::string& command) {
  ReplyWait wait(*this);
  const std::string line = ReadLn();
  ReportStatus(1, line);
  if (!canceled_ && !timed_out_) ReadReplyTail(line, ReplyName(command));
}

std::string TFtpClient::ReadGreeting() {
  FtpReply reply("Greeting");
  std::string line;
  do {
    line = ReadLn();
    ReportStatus(1, line);
  } while (reply.Take(line));
  return line;
}

void TFtpClient::Abort() {
  if (data_connection_) data_connection_->Cancel();
}

void TFtpClient::Connect() {
  canceled_ = false;
  if (connected_) return;
  pasv_refused_ = false;
  epsv_refused_ = false;
  // The server line's TimeOut bounds the login, from here to its end, as
  // one deadline: each wait re-arms the timer, so a server that keeps
  // sending something would otherwise hold the login for good. StallTime
  // takes over after it.
  stall_suspended_ = true;
  if (TimeOut > 0) deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeOut);
  struct LoginGuard {
    TFtpClient* self;
    ~LoginGuard() {
      self->stall_suspended_ = false;
      self->deadline_.reset();
    }
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
  std::string greeting_end = ReadGreeting();
  if (RefusesLogin(LeadingCode(greeting_end))) FailLogin(greeting_end);

  if (FWAuthenticate) {
    std::string reply = Transaction("USER " + FWUserID);
    if (RefusesLogin(reply_number_)) FailLogin(reply);
    if (reply_number_ == 331) {
      ReportStatus(1, "PASS ");
      reply = Transaction("PASS " + FWPassword);
      if (RefusesLogin(reply_number_)) FailLogin(reply);
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
    if (RefusesLogin(reply_number_)) FailLogin(reply);
  }
  if (reply_number_ == 331) {
    ReportStatus(1, "PASS ");
    std::string reply = Transaction("PASS " + Password);
    if (RefusesLogin(reply_number_)) FailLogin(reply);
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
    if (RefusesCommand(reply_number_)) throw FTPException(reply);
  } catch (...) {
    // Closes the socket whatever the goodbye met, then rethrows.
    TStreamSocket::Disconnect();
    throw;
  }
  TStreamSocket::Disconnect();
}
