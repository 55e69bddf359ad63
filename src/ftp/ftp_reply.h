// One FTP reply as its lines arrive: where it ends, and the bounds on its
// size that keep a server from holding the client with a reply that never
// ends. No I/O: the client's reply reading feeds it the lines ReadLn gives.
#pragma once

#include <cstddef>
#include <string>

#include "ftp/stream_socket.h"

// A reply grew past its bounds; a socket error like any other to callers
// that catch ESockError. The message names the reply and the bound.
class EReplyTooLong : public ESockError {
 public:
  using ESockError::ESockError;
};

// True for a line that does not end its reply: one that starts with a
// space or has "-" fourth ("220-Welcome"). An empty line (the peer closed)
// ends it.
bool IsContinuation(const std::string& line);

// A reply code that refuses a command: 301 to 599. A command that wants no
// more input from the client takes a 3xx as a refusal too.
inline bool RefusesCommand(int code) { return code > 300 && code < 600; }

// A reply code that refuses a step of the login: 401 to 599 (a 3xx asks
// for the next step, the password after "USER").
inline bool RefusesLogin(int code) { return code > 400 && code < 600; }

// The reply code of a line such as "421 Too many users": its first three
// characters as far as they are digits; 0 when the first is none.
int LeadingCode(const std::string& line);

// The data port of a "227" reply: the last two of the six numbers that
// follow the reply code, as in "227 Entering Passive Mode
// (h1,h2,h3,h4,p1,p2).", with or without the parentheses. 0 when there are
// not six numbers of 0 to 255 separated by commas.
int PassivePort(const std::string& reply);

// The data port of a "229" reply, as in "229 Entering Extended Passive
// Mode (|||6446|)": the number between the last two of four equal
// delimiters inside the parentheses. 0 when the reply has no such part or
// the number is not a port of 1 to 65535.
int ExtendedPassivePort(const std::string& reply);

struct ReplyLimits {
  int max_lines = 1000;
  size_t max_bytes = size_t{1} << 20;
};

class FtpReply {
 public:
  // `what` names the reply in errors: "Reply to USER", "Greeting".
  explicit FtpReply(std::string what, ReplyLimits limits = {});

  // Takes the reply's next line (the first one first), counting it against
  // the bounds. True when the reply goes on after it. Throws EReplyTooLong
  // "<what> stopped: the server sent more than 1000 lines" (or "more than
  // 1 MiB (1048576 bytes)") once the lines taken pass a bound.
  bool Take(const std::string& line);

  int lines() const { return lines_; }
  size_t bytes() const { return bytes_; }

 private:
  std::string what_;
  ReplyLimits limits_;
  int lines_ = 0;
  size_t bytes_ = 0;
};
