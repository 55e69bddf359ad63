#include "http/curl_fetch.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "http/content_range.h"
#include "http/curl_failure.h"
#include "http/range_answer.h"
#include "platform/ascii_case.h"
#include "platform/errors.h"
#include "platform/file_system.h"

namespace {

using Clock = std::chrono::steady_clock;

// libcurl's receive buffer: large enough that a fast link costs few
// callbacks, small enough that a paused transfer holds little.
constexpr long kReceiveBufferBytes = 256 * 1024;
constexpr std::string_view kContentRange = "content-range:";

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  return text;
}

}  // namespace

CurlFetch::CurlFetch(CurlMultiLoop& loop, const HttpOptions& options, FetchRequest request,
                     std::atomic<int64_t>& session_bytes)
    : loop_(loop), options_(options), request_(std::move(request)), session_bytes_(session_bytes),
      easy_(curl_easy_init()),
      watch_(options.stall_ms, options.min_rate_bps, options.rate_limit ? options.rate_limit->BytesPerSecond() : 0) {
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
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlFetch::OnHeader);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlFetch::OnBody);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  if (request_.probe) curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
  if (request_.held > 0) curl_easy_setopt(easy_, CURLOPT_RANGE, (std::to_string(request_.held) + "-").c_str());
  if (request_.ranges != nullptr) curl_easy_setopt(easy_, CURLOPT_RANGE, request_.ranges->HeaderValue().c_str());
}

CurlFetch::~CurlFetch() {
  watchdog_.Stop();
  resume_timer_.Stop();
  if (running_) loop_.Remove(easy_);
  target_.reset();
  curl_easy_cleanup(easy_);
}

void CurlFetch::Start(std::function<void()> finished) {
  on_finished_ = std::move(finished);
  watch_.Progress(Clock::now());
  loop_.Add(easy_, [this](CURLcode result) { OnCurlDone(result); });
  running_ = true;
  if (options_.stall_ms > 0) watchdog_.Start(watch_.IntervalMs(), [this] { Watch(); });
}

int64_t CurlFetch::Received() const { return target_opened_ ? request_.held + received_ : 0; }

long CurlFetch::HttpVersion() const {
  long version = 0;
  curl_easy_getinfo(easy_, CURLINFO_HTTP_VERSION, &version);
  return version;
}

long CurlFetch::ConnectionsMade() const {
  long connections = 0;
  curl_easy_getinfo(easy_, CURLINFO_NUM_CONNECTS, &connections);
  return connections;
}

bool CurlFetch::Connected() const {
  curl_off_t connect_us = 0;
  curl_easy_getinfo(easy_, CURLINFO_CONNECT_TIME_T, &connect_us);
  return connect_us > 0;
}

size_t CurlFetch::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto& fetch = *static_cast<CurlFetch*>(self);
  const std::string_view line(data, size * count);
  fetch.watch_.Progress(Clock::now());
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

size_t CurlFetch::OnBody(char* data, size_t size, size_t count, void* self) {
  return static_cast<CurlFetch*>(self)->Body(data, size * count);
}

size_t CurlFetch::Body(const char* data, size_t length) {
  watch_.Progress(Clock::now());
  try {
    if (phase_ == Phase::kAwaitingAnswer && !TakeAnswer()) return 0;
    // The held bytes go to the sink first; libcurl keeps these for later.
    if (phase_ == Phase::kAwaitingReplay) return CURL_WRITEFUNC_PAUSE;
    // Paid before it is taken: libcurl hands the same bytes again after the pause.
    if (!PayFor(length)) return CURL_WRITEFUNC_PAUSE;
    const size_t taken = Keep(data, length);
    received_ += static_cast<int64_t>(taken);
    watch_.Counted(static_cast<int64_t>(taken));
    session_bytes_.fetch_add(static_cast<int64_t>(taken), std::memory_order_relaxed);
    return failure_ ? 0 : length;
  } catch (const EFOpenError& error) {  // the local file cannot be created
    failure_ = FetchFailure{DownloadFailure::kLocal, error.what()};
  } catch (const EInOutError& error) {  // or written
    failure_ = FetchFailure{DownloadFailure::kLocal, error.what()};
  }
  return 0;
}

size_t CurlFetch::Keep(const char* data, size_t length) {
  if (request_.ranges != nullptr) {
    std::optional<std::string> fault = request_.ranges->Take(std::string_view(data, length));
    if (fault) failure_ = FetchFailure{DownloadFailure::kRefused, std::move(*fault)};
    return length;
  }
  return KeepInTarget(*target_, data, length, request_.name, request_.listed_size, failure_);
}

bool CurlFetch::TakeRangesAnswer() {
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
  watch_.BodyBegins(Clock::now());
  if (options_.rate_limit) reader_ = std::make_unique<RateLimiter::Reader>(*options_.rate_limit);
  return true;
}

bool CurlFetch::TakeAnswer() {
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status_);
  if (request_.probe) return true;
  if (request_.ranges != nullptr) return TakeRangesAnswer();
  const FileAnswerVerdict verdict =
      JudgeFileAnswer(status_, reason_, content_range_, request_.held, "GET " + request_.name);
  if (verdict.action == FileAnswerVerdict::Action::kStartOver) {
    restart_plain_ = true;  // the held bytes are no beginning of this file
    return false;
  }
  if (verdict.action == FileAnswerVerdict::Action::kFail) {
    failure_ = verdict.failure;
    return false;
  }
  const int64_t held = verdict.held;
  request_.held = held;
  curl_off_t length = -1;
  curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  total_ = AnswerTotal(held, length, request_.listed_size);
  target_ = std::make_unique<DownloadTarget>(request_.local_path, DownloadBound(request_.listed_size), held,
                                             request_.sink);
  target_opened_ = true;
  phase_ = held > 0 && request_.sink ? Phase::kAwaitingReplay : Phase::kBody;
  watch_.BodyBegins(Clock::now());
  if (options_.rate_limit) reader_ = std::make_unique<RateLimiter::Reader>(*options_.rate_limit);
  return true;
}

bool CurlFetch::PayFor(size_t length) {
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

void CurlFetch::ReplayHeld() {
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
  watch_.Progress(Clock::now());
  watch_.BodyBegins(Clock::now());
  phase_ = Phase::kBody;
  if (!running_) {
    Finish();
  } else {
    loop_.Resume(easy_);
  }
}

void CurlFetch::Watch() {
  const auto now = Clock::now();
  if (phase_ == Phase::kAwaitingReplay) watch_.Progress(now);
  if (std::optional<FetchFailure> failure = watch_.Check(now, phase_ == Phase::kBody, "GET " + request_.name))
    Fail(std::move(*failure));
}

void CurlFetch::Fail(FetchFailure failure) {
  if (finished_) return;
  if (running_) loop_.Remove(easy_);
  running_ = false;
  failure_ = std::move(failure);
  Finish();
}

void CurlFetch::OnCurlDone(CURLcode result) {
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

void CurlFetch::Restart() {
  restart_plain_ = false;
  request_.held = 0;
  curl_easy_setopt(easy_, CURLOPT_RANGE, nullptr);
  phase_ = Phase::kAwaitingAnswer;
  content_range_.clear();
  reason_.clear();
  status_ = 0;
  watch_.Progress(Clock::now());
  try {
    loop_.Add(easy_, [this](CURLcode result) { OnCurlDone(result); });
    running_ = true;
  } catch (const Exception& error) {  // libcurl refused the handle again
    failure_ = FetchFailure{DownloadFailure::kCutOff, error.what()};
    Finish();
  }
}

void CurlFetch::Finish() {
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

namespace {

class CurlClient : public HttpClient {
 public:
  explicit CurlClient(long connection_limit) { loop_.SetConnectionLimit(connection_limit); }
  std::unique_ptr<HttpFetch> NewFetch(const HttpOptions& options, FetchRequest request,
                                      std::atomic<int64_t>& session_bytes) override {
    return std::make_unique<CurlFetch>(loop_, options, std::move(request), session_bytes);
  }

 private:
  CurlMultiLoop loop_;
};

}  // namespace

std::unique_ptr<HttpClient> NewHttpClient(long connection_limit) {
  return std::make_unique<CurlClient>(connection_limit);
}

// With a CA file given, libcurl is handed the system's trusted CAs followed
// by the file's as one bundle, since a file of its own would replace the
// system's instead of adding to it.
std::string TrustedCaBundle(const std::string& ca_file) {
  if (ca_file.empty()) return "";
  std::string bundle;
  CURL* easy = curl_easy_init();
  char* system_bundle = nullptr;
  if (easy != nullptr && curl_easy_getinfo(easy, CURLINFO_CAINFO, &system_bundle) == CURLE_OK &&
      system_bundle != nullptr && platform::FileExists(system_bundle)) {
    bundle = platform::ReadWholeFile(system_bundle) + "\n";
  }
  curl_easy_cleanup(easy);
  return bundle + platform::ReadWholeFile(ca_file);
}
