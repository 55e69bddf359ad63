// updater-cli's progress line as pure functions: the rate over a sliding
// window, the texts of rates and durations, the line they make and its fit
// to the terminal.
#include "frontends/cli/progress_line.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(ProgressLineTest, LineOfTheWindowsTextRateAndTimeLeft) {
  EXPECT_EQ(ProgressLine("Data\\x.bin 1048576 of 4194304", 12.3 * 1048576, 520 * 1048576.0),
            "Data\\x.bin 1048576 of 4194304  12.3 MiB/s  0:43 left");
  EXPECT_EQ(ProgressLine("x 1 of 2", 1000.0, 1000), "x 1 of 2  1000 B/s  0:01 left");
  EXPECT_EQ(ProgressLine("x 1 of 2", 1000.0, 1001), "x 1 of 2  1000 B/s  0:02 left") << "rounded up";
  EXPECT_EQ(ProgressLine("x 1 of 2", 1000.0, 0), "x 1 of 2  1000 B/s  0:00 left");
  SCOPED_TRACE("what is not known is left out");
  EXPECT_EQ(ProgressLine("x 1 of 2", std::nullopt, 1000), "x 1 of 2");
  EXPECT_EQ(ProgressLine("x 1 of 2", 2048.0, std::nullopt), "x 1 of 2  2.0 KiB/s") << "no update run";
  EXPECT_EQ(ProgressLine("x 1 of 2", 0.0, 1000), "x 1 of 2  0 B/s") << "nothing arrives: no time";
}

TEST(ProgressLineTest, FittedToTheTerminalShortOfItsLastColumn) {
  const std::string line = "Data\\VeryVeryLongFolderName\\Big.bin 1048576 of 4194304  12.3 MiB/s  0:42 left";
  EXPECT_EQ(FitToColumns(line, 78), line) << "77 characters fit in 78 columns";
  EXPECT_EQ(FitToColumns(line, 77), "Data\\VeryVeryLong\u2026lderName\\Big.bin 1048576 of 4194304  12.3 MiB/s  0:42 left");
  EXPECT_EQ(FitToColumns(line, 50), "Dat\u2026bin 1048576 of 4194304  12.3 MiB/s  0:42 left");
  {
    SCOPED_TRACE("too narrow even for the counts: cut at the end");
    EXPECT_EQ(FitToColumns(line, 40), "\u2026 1048576 of 4194304  12.3 MiB/s  0:42 ");
    EXPECT_EQ(FitToColumns("1048576 of 4194304  12.3 MiB/s", 20), "1048576 of 4194304 ") << "no name";
    EXPECT_EQ(FitToColumns(line, 1), "");
  }
  {
    SCOPED_TRACE("the counts are the last ones: digits and \" of \" in the name stay in it");
    EXPECT_EQ(FitToColumns("Map 2 of 3.bin 5 of 9", 18), "Map 2\u2026.bin 5 of 9");
  }
  {
    SCOPED_TRACE("wide characters take two columns and are never split");
    const std::string wide = "\u5730\u5716\\\u68ee\u6797\u7684\u6a39\u6728.bin 10 of 20";  // 19 + 9 columns
    EXPECT_EQ(FitToColumns(wide, 29), wide);
    EXPECT_EQ(FitToColumns(wide, 20), "\u5730\u5716\\\u2026.bin 10 of 20");
    EXPECT_EQ(FitToColumns(wide, 17), "\u5730\u2026.bin 10 of 20");
  }
}

TEST(ProgressLineTest, RatesAndDurations) {
  for (const auto& [rate, text] : std::vector<std::pair<double, std::string>>{
           {0, "0 B/s"}, {1023.9, "1023 B/s"}, {1024, "1.0 KiB/s"}, {1536, "1.5 KiB/s"},
           {1048524, "1023.9 KiB/s"}, {1048560, "1.0 MiB/s"}, {20 * 1048576.0, "20.0 MiB/s"}, {1.1 * 1073741824, "1.1 GiB/s"},
           {4096.0 * 1073741824, "4096.0 GiB/s"}}) {
    EXPECT_EQ(RateText(rate), text) << rate;
  }
  for (const auto& [duration, text] : std::vector<std::pair<int64_t, std::string>>{
           {0, "0:00"}, {42, "0:42"}, {725, "12:05"}, {3599, "59:59"}, {3723, "1:02:03"}, {360000, "100:00:00"}}) {
    EXPECT_EQ(DurationText(duration), text) << duration;
  }
}

TEST(ProgressLineTest, RateOverTheLastSeconds) {
  const RateMeter::Clock::time_point t0{};
  RateMeter meter;
  EXPECT_EQ(meter.BytesPerSecond(), std::nullopt);
  meter.Add(t0, 1000);
  meter.Add(t0 + milliseconds(400), 5000);
  EXPECT_EQ(meter.BytesPerSecond(), std::nullopt) << "too short a span to say";
  meter.Add(t0 + milliseconds(500), 6000);
  EXPECT_DOUBLE_EQ(*meter.BytesPerSecond(), 10000);
  // 1000 B/s for 10 s after a fast start: the window forgets the start.
  for (int i = 1; i <= 100; ++i) meter.Add(t0 + milliseconds(500 + 100 * i), 6000 + 100 * i);
  EXPECT_DOUBLE_EQ(*meter.BytesPerSecond(), 1000);
  SCOPED_TRACE("blocks closer together than a sample still count at the window's end");
  const auto end = t0 + milliseconds(10500);
  meter.Add(end + milliseconds(10), 16000 + 510);
  meter.Add(end + milliseconds(20), 16000 + 1020);
  EXPECT_NEAR(*meter.BytesPerSecond(), 1020.0 / 5.02 + 1000 * 5.0 / 5.02, 1e-6);
  SCOPED_TRACE("a count that falls (a new connection) starts afresh");
  meter.Add(end + seconds(1), 10);
  EXPECT_EQ(meter.BytesPerSecond(), std::nullopt);
  meter.Add(end + seconds(2), 2010);
  EXPECT_DOUBLE_EQ(*meter.BytesPerSecond(), 2000);
}

}  // namespace
