// The FTP client's reading of replies without sockets: the input is what a
// server sends on the control connection, cut into lines the way ReadLn
// cuts them (each up to its LF, at most TStreamSocket::kBufferSize bytes;
// the last may lack its LF), and read as one reply after another by
// FtpReply, with bounds taken from the first two bytes so that short
// inputs reach them. Every line also goes through the parsers that read
// replies: the reply code, the announced size, the passive port. Thousands
// of runs a second, where the loopback target makes a few dozen.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ftp/ftp_client.h"
#include "ftp/ftp_reply.h"

namespace {

void CheckParsers(const std::string& line) {
  const int code = LeadingCode(line);
  if (code < 0 || code > 999) abort();
  if (ParseByteCount(line) < 0) abort();
  const int port = PassivePort(line);
  if (port < 0 || port > 65535) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const ReplyLimits limits{1 + data[0] % 64, size_t{1} + data[1] * size_t{16}};
  const std::string stream(reinterpret_cast<const char*>(data) + 2, size - 2);
  FtpReply reply("Reply", limits);
  bool in_reply = false;
  for (size_t at = 0; at < stream.size();) {
    size_t end = stream.find('\n', at);
    end = end == std::string::npos ? stream.size() : end + 1;
    if (end - at > TStreamSocket::kBufferSize) end = at + TStreamSocket::kBufferSize;
    const std::string line = stream.substr(at, end - at);
    at = end;
    CheckParsers(line);
    if (!in_reply) reply = FtpReply("Reply", limits);
    try {
      in_reply = reply.Take(line);
      if (in_reply != IsContinuation(line)) abort();
    } catch (const EReplyTooLong&) {
      // Past a bound by this very line: the reply was within it before.
      if (reply.lines() <= limits.max_lines && reply.bytes() <= limits.max_bytes) abort();
      if (reply.lines() - 1 > limits.max_lines || reply.bytes() - line.size() > limits.max_bytes) abort();
      in_reply = false;
      continue;
    }
    if (reply.lines() > limits.max_lines || reply.bytes() > limits.max_bytes) abort();
  }
  return 0;
}
