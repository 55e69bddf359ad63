// Sending, reading lines and counts, and capturing a stream into a file.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "ftp/stream_socket.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/socket_errors.h"

namespace {

// The most one receive takes: each costs the system a window update to
// the sender, so fewer and larger ones leave more time for the bytes.
constexpr size_t kCaptureBlock = 256 << 10;

// How often a capture that never runs dry still lets the window work.
constexpr auto kCapturePumpInterval = std::chrono::milliseconds(10);

}  // namespace

long TStreamSocket::ReceiveIntoBuffer(size_t capacity, bool peek) {
  long received = socket_.Receive(buffer_.get(), capacity, peek);
  if (received < 0) last_error_no_ = platform::LastSocketError();
  return received;
}

void TStreamSocket::SendBuffer(const char* data, uint16_t length) {
  ReportStatus(4, "Sending Buffer");
  ArmedTimer armed(*this);
  if (canceled_) {
    canceled_ = false;
    throw EAbortError("Socket send aborted");
  }
  size_t rest = length != 0 ? length : strnlen(data, 65535);
  while (rest > 0 && !canceled_) {
    long sent = socket_.Send(data, rest);
    if (sent == 0) break;
    if (sent > 0) {
      data += sent;
      rest -= static_cast<size_t>(sent);
      continue;
    }
    std::string text;
    CheckSocketError(platform::kWsaEWouldBlock, text);
  }
  if (canceled_) {
    canceled_ = false;
    throw EAbortError("Socket send aborted");
  }
}

void TStreamSocket::Write(const std::string& text) {
  ReportStatus(8, "Write");
  // The text ends at its first NUL, as a C string would.
  size_t length = strnlen(text.c_str(), text.size());
  const char* data = text.data();
  while (length > 0) {
    uint16_t piece = static_cast<uint16_t>(length > 65535 ? 65535 : length);
    SendBuffer(data, piece);
    data += piece;
    length -= piece;
  }
}

void TStreamSocket::Writeln(const std::string& text) {
  ReportStatus(8, "Writeln");
  Write(text + "\r\n");
}

std::string TStreamSocket::Read(uint16_t count) {
  if (Reporting(8)) ReportStatus(8, "Read( " + std::to_string(count) + " )");
  std::string text;
  if (count == 0) {
    long pending = ReceiveIntoBuffer(kBufferSize, true);
    if (pending < 0) CheckSocketError(platform::kWsaEWouldBlock, text);
    if (pending <= 0) return "";
    long taken = ReceiveIntoBuffer(static_cast<size_t>(pending), false);
    return taken > 0 ? std::string(buffer_.get(), static_cast<size_t>(taken)) : "";
  }
  RestartStallClock();
  long seen = 0;
  while (!canceled_) {
    long pending = ReceiveIntoBuffer(kBufferSize, true);
    if (pending >= count) {
      long taken = ReceiveIntoBuffer(count, false);
      return std::string(buffer_.get(), taken > 0 ? static_cast<size_t>(taken) : 0);
    }
    if (pending == 0) return "";
    if (pending < 0) CheckSocketError(platform::kWsaEWouldBlock, text);
    if (pending > seen) {
      seen = pending;
      RestartStallClock();
    }
    ThrowIfStalled(false);
    platform::WaitForEvent(2);
  }
  canceled_ = false;
  throw EAbortError("Socket send aborted");
}

std::string TStreamSocket::ReadLn() {
  ReportStatus(8, "ReadLn");
  ArmedTimer armed(*this);
  std::string line;
  // A peer that accepts the connection and then says nothing would
  // otherwise hold the caller for good: TimeOut bounds the wait for a line,
  // StallTime the silence within it.
  RestartStallClock();
  while (!canceled_ && !TimeIsUp()) {
    size_t room = kBufferSize - line.size();
    if (room == 0) {
      throw ESockError("Line is too long: no line end within " + std::to_string(kBufferSize) + " bytes");
    }
    long pending = ReceiveIntoBuffer(room, true);
    if (pending == 0) return line;
    if (pending < 0) {
      if (last_error_no_ == platform::kWsaENotConn) return line;
      std::string text;
      CheckSocketError(platform::kWsaEWouldBlock, text);
      ThrowIfStalled(false);
      ThrowIfReplyLate();
      ThrowIfTooSlow();
      platform::WaitForEvent(2);
      continue;
    }
    RestartStallClock();
    const char* end = static_cast<const char*>(memchr(buffer_.get(), '\n', static_cast<size_t>(pending)));
    size_t wanted = end != nullptr ? static_cast<size_t>(end - buffer_.get()) + 1 : static_cast<size_t>(pending);
    long taken = ReceiveIntoBuffer(wanted, false);
    if (taken > 0) {
      line.append(buffer_.get(), static_cast<size_t>(taken));
      floor_.bytes += taken;
      reply_heard_ = true;
    }
    if (end != nullptr && static_cast<size_t>(taken) == wanted) return line;
    platform::ProcessMessages();
  }
  if (!canceled_) throw ESockError("Connection Timed out");
  canceled_ = false;
  throw EAbortError("Socket readln aborted");
}

std::string TStreamSocket::Transaction(const std::string& command) {
  ReportStatus(8, "Transaction");
  reply_number_ = 0;
  Writeln(command);
  transaction_reply_ = ReadLn();
  if (!transaction_reply_.empty()) {
    ReportStatus(1, transaction_reply_);
    int64_t value = 0;
    int digits = 0;
    while (digits < 10 && digits < static_cast<int>(transaction_reply_.size()) &&
           transaction_reply_[digits] >= '0' && transaction_reply_[digits] <= '9') {
      value = value * 10 + (transaction_reply_[digits] - '0');
      ++digits;
    }
    // Codes beyond 16 bits are not replies any server sends.
    if (digits > 0) reply_number_ = static_cast<int16_t>(value > 32767 ? 32767 : value);
  }
  return transaction_reply_;
}

bool TStreamSocket::CaptureFile(DownloadTarget& file) {
  ReportStatus(8, "CaptureFile");
  bytes_recvd_ = 0;
  ArmedTimer armed(*this);
  captured_file_ = file.Identity();
  auto last_pump = std::chrono::steady_clock::now();
  RestartStallClock();
  StartRateFloor();
  std::optional<RateLimiter::Reader> turn;
  if (RateLimit) turn.emplace(*RateLimit);
  bool within_bound = true;
  while (!canceled_) {
    size_t room = file.Room(kCaptureBlock);
    if (turn) {
      const RateLimiter::Grant grant = turn->Take(room);
      if (grant.bytes == 0) {
        file.Flush();
        WaitForRateLimit(grant.wait);
        last_pump = std::chrono::steady_clock::now();
        continue;
      }
      room = grant.bytes;
    }
    char* const space = file.Space(room);
    long received = socket_.Receive(space, room, false);
    if (received < 0) last_error_no_ = platform::LastSocketError();
    if (turn && received < static_cast<long>(room)) turn->Return(room - static_cast<size_t>(std::max(received, 0L)));
    if (received == 0) break;
    if (received > 0) {
      file.Commit(static_cast<size_t>(received));
      bytes_recvd_ += received;
      floor_.bytes += received;
      RestartStallClock();
      if (OnPacketRecvd) OnPacketRecvd();
      if (file.PastBound()) {
        within_bound = false;
        break;
      }
      TimerOn();
      // While data keep coming the loop reads on, pumping now and then so
      // the window stays alive without a poll per block.
      auto now = std::chrono::steady_clock::now();
      if (now - last_pump >= kCapturePumpInterval) {
        last_pump = now;
        platform::ProcessMessages();
      }
      continue;
    }
    if (last_error_no_ == platform::kWsaENotConn) break;
    std::string text;
    CheckSocketError(platform::kWsaEWouldBlock, text);
    ThrowIfStalled(false);
    ThrowIfTooSlow();
    // Nothing is pending: a good moment to hand the file what has come.
    file.Flush();
    platform::WaitForEvent(2);
    last_pump = std::chrono::steady_clock::now();
  }
  file.Close();
  if (canceled_) {
    canceled_ = false;
    throw EAbortError("Socket send aborted");
  }
  if (!within_bound) return false;
  if (close_error_ != 0) {
    // The stream ended by a reset, not by the peer's orderly close: the
    // file is incomplete and must not pass for a whole one.
    platform::SetLastSocketError(close_error_);
    std::string text;
    CheckSocketError(0, text);
  }
  return true;
}

void TStreamSocket::WaitForRateLimit(std::chrono::microseconds wait) {
  const auto began = std::chrono::steady_clock::now();
  platform::WaitForEvent(static_cast<int>(std::clamp<int64_t>((wait.count() + 999) / 1000, 1, INT32_MAX)));
  // The cap held the data back; the peer was neither silent nor slow.
  const auto held_back = std::chrono::steady_clock::now() - began;
  stall_clock_start_ += held_back;
  floor_.start += held_back;
}

bool TStreamSocket::DataAvailable() {
  ReportStatus(8, "Data Available");
  long pending = ReceiveIntoBuffer(1, true);
  if (pending == 0 && close_deferred_) {
    close_deferred_ = false;
    RequestCloseSocket();
  }
  return pending > 0;
}

void TStreamSocket::ClearInput() {
  ReportStatus(8, "Clearing Input");
  // Errors are of no interest here: the input is being thrown away.
  (void)ReceiveIntoBuffer(kBufferSize, false);
}
