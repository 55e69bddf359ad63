// The HttpFetch of libcurl (Linux): one easy handle on a CurlMultiLoop.
// libcurl's header stays inside this folder.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http/curl_multi_loop.h"
#include "http/http_fetch.h"

class CurlFetch : public HttpFetch {
 public:
  // `session_bytes` counts what arrives over the network; it outlives this.
  CurlFetch(CurlMultiLoop& loop, const HttpOptions& options, FetchRequest request,
            std::atomic<int64_t>& session_bytes);
  ~CurlFetch() override;
  CurlFetch(const CurlFetch&) = delete;
  CurlFetch& operator=(const CurlFetch&) = delete;

  void Start(std::function<void()> finished = {}) override;
  bool Finished() const override { return finished_; }
  bool AwaitsReplay() const override { return phase_ == Phase::kAwaitingReplay; }
  void ReplayHeld() override;
  void Fail(FetchFailure failure) override;
  long Status() const override { return status_; }
  bool Began() const override { return target_opened_; }
  int64_t Received() const override;
  int64_t Total() const override { return total_; }
  const std::optional<FetchFailure>& Failure() const override { return failure_; }
  const std::optional<platform::FileIdentity>& File() const override { return file_; }
  bool Multiplexed() const override { return HttpVersion() == CURL_HTTP_VERSION_2_0; }
  bool Connected() const override;
  // The HTTP version the answer came in (CURL_HTTP_VERSION_2_0, ...).
  long HttpVersion() const;
  long ConnectionsMade() const;

 private:
  enum class Phase { kAwaitingAnswer, kAwaitingReplay, kBody };

  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnBody(char* data, size_t size, size_t count, void* self);
  size_t Body(const char* data, size_t length);
  // Takes the answer's status and headers once the body (or its end)
  // comes: opens the target for a 2xx. False when the request ends here.
  bool TakeAnswer();
  // The same for a request of ranges.
  bool TakeRangesAnswer();
  // Hands the body's bytes to the target or the ranges' answer; returns
  // how many it took. Sets failure_ when the request ends here.
  size_t Keep(const char* data, size_t length);
  // Pays the rate limiter for the next `length` bytes, out of what earlier
  // grants left; false (a timer will resume the transfer, and libcurl
  // hands the bytes again) when it says to wait.
  bool PayFor(size_t length);
  void Watch();
  void OnCurlDone(CURLcode result);
  void Finish();
  void Restart();

  CurlMultiLoop& loop_;
  const HttpOptions& options_;
  FetchRequest request_;
  std::atomic<int64_t>& session_bytes_;
  CURL* easy_;
  curl_slist* no_headers_ = nullptr;
  char error_text_[CURL_ERROR_SIZE] = {};
  std::function<void()> on_finished_;
  Phase phase_ = Phase::kAwaitingAnswer;
  bool running_ = false;
  bool finished_ = false;
  bool restart_plain_ = false;  // the continued request's answer did not fit: ask for the whole file
  bool target_opened_ = false;
  long status_ = 0;
  std::string content_range_;  // of the latest answer's headers
  std::string reason_;         // the words of the latest answer's status line
  int64_t total_ = 0;
  int64_t received_ = 0;  // bytes of this answer's body taken
  std::unique_ptr<DownloadTarget> target_;
  std::optional<FetchFailure> failure_;  // set by a callback before libcurl ends, or at the end
  std::optional<platform::FileIdentity> file_;
  std::unique_ptr<RateLimiter::Reader> reader_;
  size_t paid_ = 0;  // granted by the rate limiter towards bytes not taken yet
  platform::Timer resume_timer_;
  platform::Timer watchdog_;
  TransferWatch watch_;
};
