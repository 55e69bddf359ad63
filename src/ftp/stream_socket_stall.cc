// The idle bound of TStreamSocket's waits for the peer (StallTime).
#include "ftp/stream_socket.h"

namespace {

// 30000 -> "30 s", 300 -> "0.3 s", 1250 -> "1.25 s".
std::string Seconds(int32_t ms) {
  std::string text = std::to_string(ms / 1000);
  int fraction = ms % 1000;
  if (fraction != 0) {
    std::string digits = std::to_string(1000 + fraction).substr(1);
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text + " s";
}

}  // namespace

void TStreamSocket::RestartStallClock() { stall_clock_start_ = std::chrono::steady_clock::now(); }

bool TStreamSocket::Stalled() const {
  if (StallTime <= 0 || stall_suspended_) return false;
  return std::chrono::steady_clock::now() - stall_clock_start_ >= std::chrono::milliseconds(StallTime);
}

EStallError TStreamSocket::StallError(bool awaiting_connection) const {
  return EStallError(Role + " timed out: " + (awaiting_connection ? "no connection within " : "nothing received for ") +
                     Seconds(StallTime));
}

void TStreamSocket::ThrowIfStalled(bool awaiting_connection) const {
  if (Stalled()) throw StallError(awaiting_connection);
}
