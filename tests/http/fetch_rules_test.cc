// The decisions both systems' HTTP fetches share (fetch_rules.h): a
// continued download appends only to a 206 that starts at its held bytes,
// the bound stops a body one byte past it, and a quiet or slow transfer
// fails with the text the engine shows; the clock is the test's.
#include "http/fetch_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/file_system.h"
#include "support/temp_folder.h"

namespace {

using Action = FileAnswerVerdict::Action;
using std::chrono::milliseconds;

TEST(FetchRulesTest, AnAnswerIsContinuedOnlyFromTheHeldBytes) {
  struct Case {
    const char* name;
    long status;
    const char* content_range;
    int64_t held;
    Action action;
    int64_t kept;  // held bytes kept for kTake
  };
  const Case cases[] = {
      {"a 206 from the held bytes continues", 206, "bytes 100-199/200", 100, Action::kTake, 100},
      {"a 206 from elsewhere starts over", 206, "bytes 0-199/200", 100, Action::kStartOver, 0},
      {"a 206 without a readable range starts over", 206, "bytes */200", 100, Action::kStartOver, 0},
      {"a 200 to a continued request takes the whole file", 200, "", 100, Action::kTake, 0},
      {"a 416 to a continued request starts over", 416, "bytes */50", 100, Action::kStartOver, 0},
      {"a 200 to a plain request", 200, "", 0, Action::kTake, 0},
      {"a 206 nobody asked for fails", 206, "bytes 0-9/200", 0, Action::kFail, 0},
      {"a 416 to a plain request fails", 416, "", 0, Action::kFail, 0},
      {"a 404 to a continued request fails", 404, "", 100, Action::kFail, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FileAnswerVerdict verdict = JudgeFileAnswer(c.status, "", c.content_range, c.held, "GET x.gz");
    EXPECT_EQ(verdict.action, c.action);
    if (c.action == Action::kTake) {
      EXPECT_EQ(verdict.held, c.kept);
    }
  }
  const FileAnswerVerdict unasked = JudgeFileAnswer(206, "", "bytes 0-9/200", 0, "GET x.gz");
  EXPECT_EQ(unasked.failure.kind, DownloadFailure::kRefused);
  EXPECT_EQ(unasked.failure.text, "The server sent a part of the file unasked (GET x.gz)");
}

TEST(FetchRulesTest, AStatusRefusesTheFileOnlyWhenItIsTheClients) {
  const FetchFailure missing = StatusFailure(404, "Not Found", "GET x.gz");
  EXPECT_EQ(missing.kind, DownloadFailure::kRefused);
  EXPECT_EQ(missing.text, "404 Not Found (GET x.gz)");
  for (const long status : {403L, 410L}) {
    SCOPED_TRACE(status);
    EXPECT_EQ(StatusFailure(status, "", "GET x").kind, DownloadFailure::kRefused);
  }
  const FetchFailure busy = StatusFailure(503, "", "GET x.gz");
  EXPECT_EQ(busy.kind, DownloadFailure::kCutOff);
  EXPECT_EQ(busy.text, "503 (GET x.gz)");  // HTTP/2 sends no reason
  EXPECT_EQ(StatusFailure(500, "Internal Server Error", "GET x").cause, FetchCause::kOther);
}

TEST(FetchRulesTest, TheTotalIsTheHeldBytesAndTheBodyOrTheListedSize) {
  EXPECT_EQ(AnswerTotal(100, 50, 999), 150);
  EXPECT_EQ(AnswerTotal(0, 0, 999), 0);  // an empty body is a length
  EXPECT_EQ(AnswerTotal(100, -1, 999), 999);
  EXPECT_EQ(AnswerTotal(0, -1, -1), 0);
}

TEST(FetchRulesTest, TheBoundStopsTheBodyOneBytePastTheListedSize) {
  const test_support::TempFolder folder;
  const std::string path = folder.path() + "x.bin";
  const std::string body(10, 'b');
  {
    SCOPED_TRACE("within the bound");
    DownloadTarget target(path, DownloadBound(10), 0, {});
    std::optional<FetchFailure> failure;
    EXPECT_EQ(KeepInTarget(target, body.data(), body.size(), "x.bin", 10, failure), 10u);
    EXPECT_FALSE(failure);
    target.Close();
    EXPECT_EQ(platform::ReadWholeFile(path), body);
  }
  {
    SCOPED_TRACE("past the bound");
    DownloadTarget target(path, DownloadBound(4), 0, {});
    std::optional<FetchFailure> failure;
    EXPECT_EQ(KeepInTarget(target, body.data(), body.size(), "x.bin", 4, failure), 5u);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, DownloadFailure::kOverrun);
    EXPECT_EQ(failure->text, TransferLimitText("x.bin", 4));
    target.Close();
    EXPECT_EQ(platform::ReadWholeFile(path).size(), 5u);
  }
}

TEST(FetchRulesTest, AQuietOrSlowTransferFailsWithTheTextTheEngineShows) {
  const TransferWatch::Clock::time_point start{};
  {
    SCOPED_TRACE("silence for the stall time");
    TransferWatch watch(1000, 0, 0);
    watch.Progress(start);
    EXPECT_FALSE(watch.Check(start + milliseconds(999), false, "GET x"));
    const std::optional<FetchFailure> failure = watch.Check(start + milliseconds(1000), false, "GET x");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, DownloadFailure::kCutOff);
    EXPECT_EQ(failure->text, "HTTP timed out: nothing received for 1 s (GET x)");
  }
  {
    SCOPED_TRACE("below the floor over a window of twice the stall time");
    TransferWatch watch(1500, 1000, 0);
    watch.BodyBegins(start);
    watch.Progress(start + milliseconds(2999));
    watch.Counted(2999);
    EXPECT_FALSE(watch.Check(start + milliseconds(2999), true, "GET x"));  // the window is not over
    const std::optional<FetchFailure> failure = watch.Check(start + milliseconds(3000), true, "GET x");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->text, "HTTP too slow: 2999 bytes in 3 s, below MINRATE=1000 (GET x)");
  }
  {
    SCOPED_TRACE("at the floor the window starts again");
    TransferWatch watch(1500, 1000, 0);
    watch.BodyBegins(start);
    watch.Progress(start + milliseconds(3000));
    watch.Counted(3000);
    EXPECT_FALSE(watch.Check(start + milliseconds(3000), true, "GET x"));
    watch.Progress(start + milliseconds(6000));
    EXPECT_TRUE(watch.Check(start + milliseconds(6000), true, "GET x"));  // nothing counted since
  }
  {
    SCOPED_TRACE("the floor is never above half the cap, and waits for the body");
    TransferWatch watch(1000, 4096, 2000);
    watch.BodyBegins(start);
    watch.Progress(start + milliseconds(2000));
    watch.Counted(2000);
    EXPECT_FALSE(watch.Check(start + milliseconds(2000), true, "GET x"));  // 1000 B/s, half the cap
    watch.Progress(start + milliseconds(4000));
    EXPECT_FALSE(watch.Check(start + milliseconds(4000), false, "GET x"));  // no body: only the stall counts
  }
  EXPECT_EQ(TransferWatch(30000, 0, 0).IntervalMs(), 500u);
  EXPECT_EQ(TransferWatch(20, 0, 0).IntervalMs(), 10u);
  EXPECT_EQ(SecondsText(1250), "1.25 s");
}

}  // namespace
