#include "ftp/ftp_reply.h"

#include <cctype>
#include <utility>

namespace {

// "1 MiB (1048576 bytes)"; "600 bytes" below a MiB.
std::string BytesText(size_t bytes) {
  if (bytes < (size_t{1} << 20) || bytes % (size_t{1} << 20) != 0) return std::to_string(bytes) + " bytes";
  return std::to_string(bytes >> 20) + " MiB (" + std::to_string(bytes) + " bytes)";
}

}  // namespace

bool IsContinuation(const std::string& line) {
  return (!line.empty() && line[0] == ' ') || (line.size() >= 4 && line[3] == '-');
}

int LeadingCode(const std::string& line) {
  int code = 0;
  for (size_t i = 0; i < line.size() && i < 3 && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

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

int ExtendedPassivePort(const std::string& reply) {
  const size_t open = reply.find('(', 3);
  if (open == std::string::npos || open + 4 >= reply.size()) return 0;
  const char delimiter = reply[open + 1];
  if (delimiter < 33 || delimiter > 126 || std::isdigit(static_cast<unsigned char>(delimiter))) return 0;
  if (reply[open + 2] != delimiter || reply[open + 3] != delimiter) return 0;
  size_t at = open + 4;
  long port = 0;
  const size_t first = at;
  while (at < reply.size() && std::isdigit(static_cast<unsigned char>(reply[at])) && at - first < 5) {
    port = port * 10 + (reply[at++] - '0');
  }
  if (at == first || at + 1 >= reply.size() || reply[at] != delimiter || reply[at + 1] != ')') return 0;
  return port >= 1 && port <= 65535 ? static_cast<int>(port) : 0;
}

FtpReply::FtpReply(std::string what, ReplyLimits limits) : what_(std::move(what)), limits_(limits) {}

bool FtpReply::Take(const std::string& line) {
  ++lines_;
  bytes_ += line.size();
  if (lines_ > limits_.max_lines) {
    throw EReplyTooLong(what_ + " stopped: the server sent more than " + std::to_string(limits_.max_lines) +
                        " lines");
  }
  if (bytes_ > limits_.max_bytes) {
    throw EReplyTooLong(what_ + " stopped: the server sent more than " + BytesText(limits_.max_bytes));
  }
  return IsContinuation(line);
}
