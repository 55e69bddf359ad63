// The progress line of updater-cli: the window's byte progress text with
// the rate over the last seconds and the time left for the whole run,
// "Data\x.bin 1048576 of 4194304  12.3 MiB/s  0:42 left".
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

// The rate of a byte count that grows, over a sliding window of the last
// kWindow, so that it stays steady from block to block.
class RateMeter {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kWindow{5};
  // No rate until the samples span this much.
  static constexpr std::chrono::milliseconds kFirstSpan{500};

  // Notes that `bytes` had arrived in all by `at` (times in order). A count
  // lower than the last one (a new connection) starts afresh.
  void Add(Clock::time_point at, int64_t bytes);
  // Bytes per second over the window; nullopt until kFirstSpan is covered.
  std::optional<double> BytesPerSecond() const;

 private:
  struct Sample {
    Clock::time_point at;
    int64_t bytes;
  };
  std::deque<Sample> samples_;  // a tenth of a second apart, the oldest at or before the window's start
  Sample latest_{};
};

// "512 B/s", "1.5 KiB/s", "12.3 MiB/s", "1.1 GiB/s".
std::string RateText(double bytes_per_second);
// "0:42", "12:05", "1:02:03".
std::string DurationText(int64_t seconds);

// `window_text` followed by the rate when known and, when bytes_left is
// known and the rate above 0, the time those bytes take at that rate
// (rounded up), each after two spaces.
std::string ProgressLine(const std::string& window_text, std::optional<double> bytes_per_second,
                         std::optional<int64_t> bytes_left);

// The decoded (UTF-8) progress line made to fit a terminal `columns` wide
// short of its last column, where a terminal would wrap or the clearing
// after the line would eat the last character. Too long a line has the
// file name before its byte counts shortened in the middle with "…", its
// start and end kept ("Data\\Very…Long.bin 1048576 of 4194304"); what still
// does not fit is cut at the end. Wide East Asian characters take two columns.
std::string FitToColumns(const std::string& utf8_line, int columns);
