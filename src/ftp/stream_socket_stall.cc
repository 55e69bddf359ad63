// The bounds of TStreamSocket's waits for the peer: silence (StallTime),
// a trickle (MinRate), and the deadlines of a run of waits.
#include <algorithm>

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

bool TStreamSocket::TimeIsUp() {
  if (!timed_out_ && deadline_ && std::chrono::steady_clock::now() >= *deadline_) timed_out_ = true;
  return timed_out_;
}

void TStreamSocket::ThrowIfReplyLate() const {
  // A reply not begun is silence, which the stall error names.
  if (reply_deadline_ && reply_heard_ && std::chrono::steady_clock::now() >= *reply_deadline_) {
    throw EStallError(Role + " timed out: no whole reply within " + Seconds(StallTime));
  }
}

void TStreamSocket::StartRateFloor() {
  floor_.active = MinRate > 0 && StallTime > 0;
  floor_.start = std::chrono::steady_clock::now();
  floor_.bytes = 0;
}

void TStreamSocket::ThrowIfTooSlow() {
  if (!floor_.active) return;
  const auto now = std::chrono::steady_clock::now();
  const int64_t window_ms = 2 * int64_t{StallTime};
  if (now - floor_.start < std::chrono::milliseconds(window_ms)) return;
  // A floor at or above the cap would fail a transfer that the cap holds
  // at its rate, whose bytes arrive about as fast as the cap grants them.
  const int64_t floor = RateLimit ? std::min<int64_t>(MinRate, RateLimit->BytesPerSecond() / 2) : MinRate;
  if (floor_.bytes * 1000 < floor * window_ms) {
    throw EStallError(Role + " too slow: " + std::to_string(floor_.bytes) + " bytes in " +
                      Seconds(static_cast<int32_t>(std::min<int64_t>(window_ms, INT32_MAX))) + ", below MINRATE=" +
                      std::to_string(floor));
  }
  floor_.start = now;
  floor_.bytes = 0;
}
