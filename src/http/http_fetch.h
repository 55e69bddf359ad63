// One HTTP request of the transport on a CurlMultiLoop: a probe of the
// server folder (HEAD), a GET of a file into a DownloadTarget, opened
// only once a 2xx answer is known, so that a refusal leaves the local file
// as it was, or a GET of ranges of a file into their RangeAnswer. It progresses while the loop is pumped; its owner waits for
// Finished() and reads the outcome.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http/curl_multi_loop.h"
#include "transport/download_target.h"

class RangeAnswer;

// How every request of one transport reaches its server.
struct HttpOptions {
  std::string scheme;     // "http" or "https": where redirects may lead
  std::string ca_bundle;  // PEM of the trusted CAs; "" = the system's store
  int32_t stall_ms = 0;   // no byte for this long fails a request; 0 = no bound
  int32_t min_rate_bps = 0;
  std::shared_ptr<RateLimiter> rate_limit;
  long connect_timeout_ms = 0;  // 0 = stall_ms
};

// How a request failed, in the terms of the seam.
struct FetchFailure {
  DownloadFailure kind = DownloadFailure::kCutOff;
  std::string text;
  CURLcode code = CURLE_OK;  // libcurl's result; CURLE_OK for a status, a stall or a local failure
  int socket_error = 0;      // the WinSock number of a socket error that caused it, else 0
};

struct FetchRequest {
  std::string url;
  std::string name;        // the remote name, for texts
  bool probe = false;      // HEAD: no body, no local file
  std::string local_path;  // a GET's file
  int64_t listed_size = -1;
  int64_t held = 0;  // bytes local_path holds to continue after ("Range: bytes=held-")
  ByteSink sink;     // must not pump messages (see curl_multi_loop.h)
  long total_timeout_ms = 0;  // a bound on the whole request; 0 = none
  // A GET of ranges (no local file): asks for its spans, and its answer
  // decides and takes the body. Outlives the fetch.
  RangeAnswer* ranges = nullptr;
};

class HttpFetch {
 public:
  // `session_bytes` counts what arrives over the network; it outlives this.
  HttpFetch(CurlMultiLoop& loop, const HttpOptions& options, FetchRequest request,
            std::atomic<int64_t>& session_bytes);
  ~HttpFetch();
  HttpFetch(const HttpFetch&) = delete;
  HttpFetch& operator=(const HttpFetch&) = delete;

  // Sends the request. `finished` (may be empty) runs once it has ended.
  void Start(std::function<void()> finished = {});
  bool Finished() const { return finished_; }
  // A continued file's answer came (206 from the held bytes on), and the
  // body waits until the held bytes have reached the sink.
  bool AwaitsReplay() const { return phase_ == Phase::kAwaitingReplay; }
  // Hands the sink the held bytes, then lets the body flow. Pumps
  // messages, so the owner's wait calls it, never a callback.
  void ReplayHeld();
  // Ends the request now as failed with `failure`; nothing once finished.
  void Fail(FetchFailure failure);

  // The answer's status (0 before one came); whether a 2xx answer began
  // the file (TransferStarted), the bytes the file holds so far (held ones
  // included) and its expected size (0 when unknown).
  long Status() const { return status_; }
  bool Began() const { return target_opened_; }
  int64_t Received() const;
  int64_t Total() const { return total_; }
  // Once finished: the failure, or nullopt and the file written.
  const std::optional<FetchFailure>& Failure() const { return failure_; }
  const std::optional<platform::FileIdentity>& File() const { return file_; }
  // The HTTP version the answer came in (CURL_HTTP_VERSION_2_0, ...).
  long HttpVersion() const;
  long ConnectionsMade() const;
  bool Connected() const;  // a connection to the server was made

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
  std::chrono::steady_clock::time_point last_progress_;
  std::chrono::steady_clock::time_point floor_start_;
  int64_t floor_bytes_ = 0;
};
