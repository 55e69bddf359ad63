#include "http/http_fetch.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "http/content_range.h"
#include "http/curl_failure.h"
#include "http/range_answer.h"
#include "platform/ascii_case.h"
#include "platform/errors.h"

namespace {

using Clock = std::chrono::steady_clock;

// libcurl's receive buffer: large enough that a fast link costs few
// callbacks, small enough that a paused transfer holds little.
constexpr long kReceiveBufferBytes = 256 * 1024;
// Bytes copied into the target at a time (at most DownloadTarget::kWriteSize).
constexpr size_t kPiece = 64 * 1024;
constexpr std::string_view kContentRange = "content-range:";

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  return text;
}

// How often a request looks whether it has stalled: often enough to end
// it soon after StallTime, seldom enough to cost nothing.
unsigned WatchIntervalMs(int32_t stall_ms) { return static_cast<unsigned>(std::clamp(stall_ms / 4, 10, 500)); }

}  // namespace

HttpFetch::HttpFetch(CurlMultiLoop& loop, const HttpOptions& options, FetchRequest request,
                     std::atomic<int64_t>& session_bytes)
    : loop_(loop), options_(options), request_(std::move(request)), session_bytes_(session_bytes),
      easy_(curl_easy_init()) {
  if (easy_ == nullptr) throw Exception("libcurl could not make a request");
  curl_easy_setopt(easy_, CURLOPT_URL, request_.url.c_str());
  curl_easy_setopt(easy_, CURLOPT_PRIVATE, this);
  curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, error_text_);
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy_, CURLOPT_USERAGENT, "updater");
  // An https line stays on https, also through redirects.
  const char* protocols = options_.scheme == "https" ? "https" : "http,https";
  curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, protocols);
  curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
  curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 5L);
  // HTTP/2 where TLS negotiates it (ALPN), HTTP/1.1 otherwise.
  curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  // Certificates are always checked, chain and host name: no setting turns it off.
  curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options_.ca_bundle.empty()) {
    curl_blob blob{const_cast<char*>(options_.ca_bundle.data()), options_.ca_bundle.size(), CURL_BLOB_NOCOPY};
    curl_easy_setopt(easy_, CURLOPT_CAINFO_BLOB, &blob);
  }
  // Proxies are libcurl's default: the http_proxy, https_proxy and
  // no_proxy variables of the environment.
  // Requests made while a connection is being set up wait to share it
  // (HTTP/2) rather than open one each.
  curl_easy_setopt(easy_, CURLOPT_PIPEWAIT, 1L);
  const long connect_ms = options_.connect_timeout_ms > 0 ? options_.connect_timeout_ms : options_.stall_ms;
  curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, connect_ms);
  curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, request_.total_timeout_ms);
  // Under a cap, one callback's bytes are paid for before they are taken:
  // no more than the bucket holds, so they come as evenly as the cap allows.
  long buffer = kReceiveBufferBytes;
  if (options_.rate_limit)
    buffer = std::clamp<long>(static_cast<long>(options_.rate_limit->Burst()), CURL_MAX_WRITE_SIZE, buffer);
  curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, buffer);
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &HttpFetch::OnHeader);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &HttpFetch::OnBody);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  if (request_.probe) curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
  if (request_.held > 0) curl_easy_setopt(easy_, CURLOPT_RANGE, (std::to_string(request_.held) + "-").c_str());
  if (request_.ranges != nullptr) curl_easy_setopt(easy_, CURLOPT_RANGE, request_.ranges->HeaderValue().c_str());
}

HttpFetch::~HttpFetch() {
  watchdog_.Stop();
  resume_timer_.Stop();
  if (running_) loop_.Remove(easy_);
  target_.reset();
  curl_easy_cleanup(easy_);
}

void HttpFetch::Start(std::function<void()> finished) {
  on_finished_ = std::move(finished);
  last_progress_ = Clock::now();
  loop_.Add(easy_, [this](CURLcode result) { OnCurlDone(result); });
  running_ = true;
  if (options_.stall_ms > 0) watchdog_.Start(WatchIntervalMs(options_.stall_ms), [this] { Watch(); });
}

int64_t HttpFetch::Received() const { return target_opened_ ? request_.held + received_ : 0; }

long HttpFetch::HttpVersion() const {
  long version = 0;
  curl_easy_getinfo(easy_, CURLINFO_HTTP_VERSION, &version);
  return version;
}

long HttpFetch::ConnectionsMade() const {
  long connections = 0;
  curl_easy_getinfo(easy_, CURLINFO_NUM_CONNECTS, &connections);
  return connections;
}

bool HttpFetch::Connected() const {
  curl_off_t connect_us = 0;
  curl_easy_getinfo(easy_, CURLINFO_CONNECT_TIME_T, &connect_us);
  return connect_us > 0;
}

size_t HttpFetch::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto& fetch = *static_cast<HttpFetch*>(self);
  const std::string_view line(data, size * count);
  fetch.last_progress_ = Clock::now();
  // Each answer (a redirect's too) starts with its status line.
  if (line.substr(0, 5) == "HTTP/") {
    fetch.content_range_.clear();
    // "HTTP/1.1 404 Not Found": the words after the code, if any (HTTP/2 has none).
    const size_t code = line.find(' ');
    const size_t words = code == std::string_view::npos ? code : line.find(' ', code + 1);
    fetch.reason_ = words == std::string_view::npos ? "" : std::string(Trimmed(line.substr(words + 1)));
  } else if (line.size() > kContentRange.size() &&
             platform::EqualIgnoringAsciiCase(line.substr(0, kContentRange.size()), kContentRange)) {
    fetch.content_range_ = Trimmed(line.substr(kContentRange.size()));
  }
  return line.size();
}

size_t HttpFetch::OnBody(char* data, size_t size, size_t count, void* self) {
  return static_cast<HttpFetch*>(self)->Body(data, size * count);
}

size_t HttpFetch::Body(const char* data, size_t length) {
  last_progress_ = Clock::now();
  try {
    if (phase_ == Phase::kAwaitingAnswer && !TakeAnswer()) return 0;
    // The held bytes go to the sink first; libcurl keeps these for later.
    if (phase_ == Phase::kAwaitingReplay) return CURL_WRITEFUNC_PAUSE;
    // Paid before it is taken: libcurl hands the same bytes again after the pause.
    if (!PayFor(length)) return CURL_WRITEFUNC_PAUSE;
    const size_t taken = Keep(data, length);
    received_ += static_cast<int64_t>(taken);
    floor_bytes_ += static_cast<int64_t>(taken);
    session_bytes_.fetch_add(static_cast<int64_t>(taken), std::memory_order_relaxed);
    return failure_ ? 0 : length;
  } catch (const EFOpenError& error) {  // the local file cannot be created
    failure_ = FetchFailure{DownloadFailure::kLocal, error.what()};
  } catch (const EInOutError& error) {  // or written
    failure_ = FetchFailure{DownloadFailure::kLocal, error.what()};
  }
  return 0;
}

size_t HttpFetch::Keep(const char* data, size_t length) {
  if (request_.ranges != nullptr) {
    std::optional<std::string> fault = request_.ranges->Take(std::string_view(data, length));
    if (fault) failure_ = FetchFailure{DownloadFailure::kRefused, std::move(*fault)};
    return length;
  }
  size_t taken = 0;
  while (taken < length && !target_->PastBound()) {
    const size_t room = target_->Room(std::min(length - taken, kPiece));
    std::memcpy(target_->Space(room), data + taken, room);
    target_->Commit(room);
    taken += room;
  }
  if (target_->PastBound())
    failure_ = FetchFailure{DownloadFailure::kOverrun, TransferLimitText(request_.name, request_.listed_size)};
  return taken;
}

bool HttpFetch::TakeRangesAnswer() {
  char* content_type = nullptr;
  curl_easy_getinfo(easy_, CURLINFO_CONTENT_TYPE, &content_type);
  failure_ = request_.ranges->Open(status_, reason_, content_type != nullptr ? content_type : "", content_range_,
                                   "GET " + request_.name);
  if (failure_) {
    // The answer goes on (a whole file, say) unless its connection is
    // closed: over HTTP/2 the stream's reset waits for the connection's
    // next use, while the server may send up to libcurl's large stream
    // window. A connection no other transfer shares is closed now.
    curl_easy_setopt(easy_, CURLOPT_FORBID_REUSE, 1L);
    return false;
  }
  curl_off_t length = -1;
  curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  total_ = std::max<int64_t>(length, 0);
  target_opened_ = true;
  phase_ = Phase::kBody;
  floor_start_ = Clock::now();
  floor_bytes_ = 0;
  if (options_.rate_limit) reader_ = std::make_unique<RateLimiter::Reader>(*options_.rate_limit);
  return true;
}

bool HttpFetch::TakeAnswer() {
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status_);
  if (request_.probe) return true;
  if (request_.ranges != nullptr) return TakeRangesAnswer();
  const std::string what = "GET " + request_.name;
  int64_t held = request_.held;
  if (status_ == 416 && held > 0) {
    restart_plain_ = true;  // the held bytes are no beginning of this file
    return false;
  }
  if (status_ < 200 || status_ > 299) {
    failure_ = StatusFailure(status_, reason_, what);
    return false;
  }
  if (held > 0 && status_ == 206) {
    const std::optional<ContentRange> range = ParseContentRange(content_range_);
    if (!range || range->first != held) {
      restart_plain_ = true;
      return false;
    }
  } else if (status_ == 206) {
    failure_ = FetchFailure{DownloadFailure::kRefused, "The server sent a part of the file unasked (" + what + ")"};
    return false;
  } else {
    held = 0;  // the whole file came: it starts over from byte 0
  }
  request_.held = held;
  curl_off_t length = -1;
  curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  total_ = length >= 0 ? held + length : std::max<int64_t>(request_.listed_size, 0);
  target_ = std::make_unique<DownloadTarget>(request_.local_path, DownloadBound(request_.listed_size), held,
                                             request_.sink);
  target_opened_ = true;
  phase_ = held > 0 && request_.sink ? Phase::kAwaitingReplay : Phase::kBody;
  floor_start_ = Clock::now();
  floor_bytes_ = 0;
  if (options_.rate_limit) reader_ = std::make_unique<RateLimiter::Reader>(*options_.rate_limit);
  return true;
}

bool HttpFetch::PayFor(size_t length) {
  if (!reader_) return true;
  while (paid_ < length) {
    const RateLimiter::Grant grant = reader_->Take(length - paid_);
    if (grant.bytes == 0) {
      const auto wait_ms = std::max<int64_t>(1, (grant.wait.count() + 999) / 1000);
      resume_timer_.Start(static_cast<unsigned>(wait_ms), [this] {
        resume_timer_.Stop();
        loop_.Resume(easy_);
      });
      return false;
    }
    paid_ += grant.bytes;
  }
  paid_ -= length;
  return true;
}

void HttpFetch::ReplayHeld() {
  if (phase_ != Phase::kAwaitingReplay) return;
  try {
    target_->ReplayHeld();
  } catch (const EFOpenError& error) {  // the held bytes cannot be read back
    Fail(FetchFailure{DownloadFailure::kLocal, error.what()});
    return;
  } catch (const EInOutError& error) {  // as above
    Fail(FetchFailure{DownloadFailure::kLocal, error.what()});
    return;
  }
  // Reading a large file back is no silence of the server's.
  last_progress_ = Clock::now();
  floor_start_ = last_progress_;
  phase_ = Phase::kBody;
  if (!running_) {
    Finish();
  } else {
    loop_.Resume(easy_);
  }
}

void HttpFetch::Watch() {
  const auto now = Clock::now();
  if (phase_ == Phase::kAwaitingReplay) last_progress_ = now;
  const std::string what = " (GET " + request_.name + ")";
  if (now - last_progress_ >= std::chrono::milliseconds(options_.stall_ms)) {
    Fail(FetchFailure{DownloadFailure::kCutOff,
                      "HTTP timed out: nothing received for " + SecondsText(options_.stall_ms) + what});
    return;
  }
  if (phase_ != Phase::kBody || options_.min_rate_bps <= 0) return;
  const int64_t window_ms = 2 * int64_t{options_.stall_ms};
  if (now - floor_start_ < std::chrono::milliseconds(window_ms)) return;
  // A floor at or above the cap would fail a transfer the cap holds back.
  const int64_t floor = options_.rate_limit
                            ? std::min<int64_t>(options_.min_rate_bps, options_.rate_limit->BytesPerSecond() / 2)
                            : options_.min_rate_bps;
  if (floor_bytes_ * 1000 < floor * window_ms) {
    Fail(FetchFailure{DownloadFailure::kCutOff, "HTTP too slow: " + std::to_string(floor_bytes_) + " bytes in " +
                                                    SecondsText(window_ms) + ", below MINRATE=" +
                                                    std::to_string(floor) + what});
    return;
  }
  floor_start_ = now;
  floor_bytes_ = 0;
}

void HttpFetch::Fail(FetchFailure failure) {
  if (finished_) return;
  if (running_) loop_.Remove(easy_);
  running_ = false;
  failure_ = std::move(failure);
  Finish();
}

void HttpFetch::OnCurlDone(CURLcode result) {
  running_ = false;
  try {
    if (!failure_ && !restart_plain_) {
      if (result != CURLE_OK) {
        long os_errno = 0;
        curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &os_errno);
        failure_ = CurlFailure(result, os_errno, error_text_, (request_.probe ? "HEAD " : "GET ") + request_.name);
      } else if (phase_ == Phase::kAwaitingAnswer) {
        (void)TakeAnswer();  // a body-less answer: what it decided is in failure_ and restart_plain_
      }
      if (!failure_ && request_.ranges != nullptr) {
        if (std::optional<std::string> fault = request_.ranges->Finish())
          failure_ = FetchFailure{DownloadFailure::kRefused, std::move(*fault)};
      }
    }
  } catch (const EFOpenError& error) {  // TakeAnswer could not create the file
    failure_ = FetchFailure{DownloadFailure::kLocal, error.what()};
  }
  if (restart_plain_ && !failure_) {
    Restart();
    return;
  }
  // An empty answer to a continued request still owes the sink its held bytes.
  if (phase_ == Phase::kAwaitingReplay && !failure_) return;
  Finish();
}

void HttpFetch::Restart() {
  restart_plain_ = false;
  request_.held = 0;
  curl_easy_setopt(easy_, CURLOPT_RANGE, nullptr);
  phase_ = Phase::kAwaitingAnswer;
  content_range_.clear();
  reason_.clear();
  status_ = 0;
  last_progress_ = Clock::now();
  try {
    loop_.Add(easy_, [this](CURLcode result) { OnCurlDone(result); });
    running_ = true;
  } catch (const Exception& error) {  // libcurl refused the handle again
    failure_ = FetchFailure{DownloadFailure::kCutOff, error.what()};
    Finish();
  }
}

void HttpFetch::Finish() {
  watchdog_.Stop();
  resume_timer_.Stop();
  if (target_ && !failure_) {
    try {
      file_ = target_->Identity();
      target_->Close();
    } catch (const EInOutError& error) {  // the last bytes could not be written
      file_.reset();
      failure_ = FetchFailure{DownloadFailure::kLocal, error.what()};
    }
  }
  target_.reset();  // after a failure, writes what arrived as far as it can
  if (reader_ && paid_ > 0) reader_->Return(paid_);
  paid_ = 0;
  reader_.reset();
  finished_ = true;
  if (on_finished_) {
    const std::function<void()> finished = std::move(on_finished_);
    finished();
  }
}
