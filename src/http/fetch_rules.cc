#include "http/fetch_rules.h"

#include <algorithm>
#include <cstring>

#include "http/content_range.h"

std::string SecondsText(int64_t ms) {
  std::string text = std::to_string(ms / 1000);
  if (const int64_t fraction = ms % 1000; fraction != 0) {
    std::string digits = std::to_string(1000 + fraction).substr(1);
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text + " s";
}

FetchFailure StatusFailure(long status, const std::string& reason, const std::string& what) {
  FetchFailure failure;
  failure.kind = status >= 400 && status < 500 ? DownloadFailure::kRefused : DownloadFailure::kCutOff;
  failure.text = std::to_string(status) + (reason.empty() ? "" : " " + reason) + " (" + what + ")";
  return failure;
}

FileAnswerVerdict JudgeFileAnswer(long status, const std::string& reason, const std::string& content_range,
                                  int64_t held, const std::string& what) {
  using Action = FileAnswerVerdict::Action;
  FileAnswerVerdict verdict;
  if (status == 416 && held > 0) {
    verdict.action = Action::kStartOver;
    return verdict;
  }
  if (status < 200 || status > 299) {
    verdict.failure = StatusFailure(status, reason, what);
    return verdict;
  }
  if (held > 0 && status == 206) {
    const std::optional<ContentRange> range = ParseContentRange(content_range);
    if (!range || range->first != held) {
      verdict.action = Action::kStartOver;
      return verdict;
    }
  } else if (status == 206) {
    verdict.failure = FetchFailure{DownloadFailure::kRefused, "The server sent a part of the file unasked (" + what + ")"};
    return verdict;
  } else {
    held = 0;  // the whole file came: it starts over from byte 0
  }
  verdict.action = Action::kTake;
  verdict.held = held;
  return verdict;
}

int64_t AnswerTotal(int64_t held, int64_t content_length, int64_t listed_size) {
  return content_length >= 0 ? held + content_length : std::max<int64_t>(listed_size, 0);
}

size_t KeepInTarget(DownloadTarget& target, const char* data, size_t length, const std::string& name,
                    int64_t listed_size, std::optional<FetchFailure>& failure) {
  size_t taken = 0;
  while (taken < length && !target.PastBound()) {
    const size_t room = target.Room(std::min(length - taken, kTargetPiece));
    std::memcpy(target.Space(room), data + taken, room);
    target.Commit(room);
    taken += room;
  }
  if (target.PastBound())
    failure = FetchFailure{DownloadFailure::kOverrun, TransferLimitText(name, listed_size)};
  return taken;
}

TransferWatch::TransferWatch(int32_t stall_ms, int32_t min_rate_bps, int64_t max_rate_bps)
    : stall_ms_(stall_ms), min_rate_bps_(min_rate_bps), max_rate_bps_(max_rate_bps) {}

unsigned TransferWatch::IntervalMs() const { return static_cast<unsigned>(std::clamp(stall_ms_ / 4, 10, 500)); }

void TransferWatch::BodyBegins(Clock::time_point now) {
  floor_start_ = now;
  floor_bytes_ = 0;
}

std::optional<FetchFailure> TransferWatch::Check(Clock::time_point now, bool in_body, const std::string& what) {
  const std::string named = " (" + what + ")";
  if (now - last_progress_ >= std::chrono::milliseconds(stall_ms_)) {
    return FetchFailure{DownloadFailure::kCutOff, "HTTP timed out: nothing received for " + SecondsText(stall_ms_) + named};
  }
  if (!in_body || min_rate_bps_ <= 0) return std::nullopt;
  const int64_t window_ms = 2 * int64_t{stall_ms_};
  if (now - floor_start_ < std::chrono::milliseconds(window_ms)) return std::nullopt;
  const int64_t floor = max_rate_bps_ > 0 ? std::min<int64_t>(min_rate_bps_, max_rate_bps_ / 2) : min_rate_bps_;
  if (floor_bytes_ * 1000 < floor * window_ms) {
    return FetchFailure{DownloadFailure::kCutOff, "HTTP too slow: " + std::to_string(floor_bytes_) + " bytes in " +
                                                      SecondsText(window_ms) + ", below MINRATE=" +
                                                      std::to_string(floor) + named};
  }
  floor_start_ = now;
  floor_bytes_ = 0;
  return std::nullopt;
}
