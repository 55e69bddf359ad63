// What an HTTP request decides, the same over every system's HTTP
// library: how a failure is told (FetchFailure and its texts), whether an
// answer is taken, continued or started over (JudgeFileAnswer), how its
// body fills the target under the bound (KeepInTarget), and when a quiet
// or slow transfer fails (TransferWatch). No I/O; the clock a parameter.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "transport/download_target.h"

// What a library's failure amounts to where the login tells it apart.
enum class FetchCause {
  kOther,
  kNoSuchHost,     // the host name has no address
  kConnectFailed,  // no connection could be made
  kTimedOut,       // the library's time-out ended it
};

// How a request failed, in the terms of the seam.
struct FetchFailure {
  DownloadFailure kind = DownloadFailure::kCutOff;
  std::string text;
  FetchCause cause = FetchCause::kOther;  // kOther for a status, a stall or a local failure
  int socket_error = 0;                   // the WinSock number of a socket error that caused it, else 0
};

// The failure of an answer with a status other than 2xx, read as the
// server's refusal starting with the status as an FTP reply starts with
// its code ("404 Not Found (GET x.gz)"; `reason` may be empty): 4xx
// refuses the file (it is absent or forbidden); any other leaves it to a
// later try.
FetchFailure StatusFailure(long status, const std::string& reason, const std::string& what);

// 30000 -> "30 s", 1250 -> "1.25 s".
std::string SecondsText(int64_t ms);

// What to do with the answer to a GET of a file that asked for the bytes
// from `held` on (0: the whole file).
struct FileAnswerVerdict {
  enum class Action {
    kTake,          // a 2xx: open the target, the body goes after `held` bytes
    kStartOver,     // the held bytes are no beginning of this file: ask again for the whole
    kFail,          // `failure` ends the request
  };
  Action action = Action::kFail;
  int64_t held = 0;  // for kTake: the bytes kept before the body (0 for a 200)
  FetchFailure failure;
};

// A 206 is continued only when its Content-Range starts at `held`; a 200
// starts over from byte 0; a 416 to a continued request, or a 206 from
// elsewhere, asks again for the whole file; a 206 unasked and any
// status outside 2xx fail. `what` names the request ("GET x.gz").
FileAnswerVerdict JudgeFileAnswer(long status, const std::string& reason, const std::string& content_range,
                                  int64_t held, const std::string& what);

// The expected size of a taken answer: the held bytes and the body's
// length, or the listed size (0 when none) when the server gives none.
int64_t AnswerTotal(int64_t held, int64_t content_length, int64_t listed_size);

// Bytes copied into the target at a time (at most DownloadTarget::kWriteSize).
constexpr size_t kTargetPiece = 64 * 1024;

// Copies `data` into `target` as far as its bound lets, returning how many
// bytes it took; sets `failure` (kOverrun, TransferLimitText of `name`)
// once the bound is passed. Throws what DownloadTarget throws.
size_t KeepInTarget(DownloadTarget& target, const char* data, size_t length, const std::string& name,
                    int64_t listed_size, std::optional<FetchFailure>& failure);

// The stall time and the rate floor of one request, judged on the
// owner's timer; see NetworkSettings.
class TransferWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // `max_rate_bps` is the shared cap's (0: none): a floor at or above half
  // of it would fail a transfer the cap holds back.
  TransferWatch(int32_t stall_ms, int32_t min_rate_bps, int64_t max_rate_bps);

  // How often the owner calls Check: often enough to end a request soon
  // after the stall time, seldom enough to cost nothing.
  unsigned IntervalMs() const;
  // Something came (or the client is busy locally: a replay of held bytes).
  void Progress(Clock::time_point now) { last_progress_ = now; }
  // The body begins (again): the floor's window starts now.
  void BodyBegins(Clock::time_point now);
  // `bytes` of the body arrived.
  void Counted(int64_t bytes) { floor_bytes_ += bytes; }
  // The failure when the request has stalled, or (with `in_body`) has
  // stayed below the floor over a window of twice the stall time; `what`
  // names the request ("GET x.gz").
  std::optional<FetchFailure> Check(Clock::time_point now, bool in_body, const std::string& what);

 private:
  int32_t stall_ms_;
  int32_t min_rate_bps_;
  int64_t max_rate_bps_;
  Clock::time_point last_progress_{};
  Clock::time_point floor_start_{};
  int64_t floor_bytes_ = 0;
};
