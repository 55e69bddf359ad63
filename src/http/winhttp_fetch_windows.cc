// The HttpFetch of WinHTTP (Windows), in WinHTTP's asynchronous mode.
//
// Where code runs: every WinHTTP call and every decision is made on the
// thread that made the fetch, inside its message loop. WinHTTP's status
// callback runs on WinHTTP's own threads; it only notes a secure failure's
// flags and posts the event to the fetch's loop (MessageLoopRef::Post),
// where the fetch goes on. A request handle's RequestLink, shared by the
// callback's context and the posted events, outlives the fetch until
// WinHTTP closes the handle, so a late event or a read into its buffer
// never meets a fetch that is gone: the fetch lets go of the link (fetch =
// nullptr, on its own thread) before it closes the handle.
#include "http/http_fetch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "http/range_answer.h"
#include "http/winhttp_failure.h"
#include "http/winhttp_trust.h"
#include "platform/errors.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/decimal_field.h"
#include "platform/windows_api.h"

#include <winhttp.h>

namespace {

using Clock = std::chrono::steady_clock;

// The most one read asks for: as libcurl's receive buffer on Linux.
constexpr size_t kReadBytes = 256 * 1024;

class WinHttpFetch;

// What WinHTTP's threads share with the fetch of one request handle.
struct RequestLink {
  platform::MessageLoopRef loop;
  WinHttpFetch* fetch = nullptr;         // touched on the loop's thread only; null once let go
  std::vector<char> buffer;              // WinHttpReadData's, alive until the handle closes
  std::atomic<uint32_t> secure_flags{0};  // of WINHTTP_CALLBACK_STATUS_SECURE_FAILURE, from WinHTTP's thread
};

// One notification, as posted to the loop.
struct RequestEvent {
  DWORD status = 0;
  DWORD length = 0;  // a read's bytes
  DWORD error = 0;   // a request error's
};

// The parts of a URL the transport made (http_urls.h): scheme, host (an
// IPv6 address in its brackets, which WinHTTP takes as they are and sends
// in the Host header), port (0: the scheme's) and the escaped path.
struct UrlParts {
  bool secure = false;
  std::string host;
  INTERNET_PORT port = INTERNET_DEFAULT_PORT;
  std::string path = "/";
};

UrlParts SplitUrl(const std::string& url) {
  UrlParts parts;
  const size_t scheme_end = url.find("://");
  if (scheme_end == std::string::npos) throw Exception("Not a URL: " + url);
  parts.secure = url.compare(0, scheme_end, "https") == 0;
  const size_t authority = scheme_end + 3;
  const size_t path = url.find('/', authority);
  std::string host_port = url.substr(authority, path == std::string::npos ? std::string::npos : path - authority);
  if (path != std::string::npos) parts.path = url.substr(path);
  std::string port;
  if (!host_port.empty() && host_port.front() == '[') {
    const size_t close = host_port.find(']');
    if (close == std::string::npos) throw Exception("Not a URL: " + url);
    parts.host = host_port.substr(0, close + 1);
    if (close + 1 < host_port.size() && host_port[close + 1] == ':') port = host_port.substr(close + 2);
  } else {
    const size_t colon = host_port.rfind(':');
    parts.host = host_port.substr(0, colon);
    if (colon != std::string::npos) port = host_port.substr(colon + 1);
  }
  if (!port.empty()) {
    const std::optional<int64_t> number = platform::DecimalField(port);
    if (!number || *number <= 0 || *number > 65535) throw Exception("Not a URL: " + url);
    parts.port = static_cast<INTERNET_PORT>(*number);
  }
  return parts;
}

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);

class WinHttpFetch : public HttpFetch {
 public:
  WinHttpFetch(HINTERNET session, const HttpOptions& options, FetchRequest request,
               std::atomic<int64_t>& session_bytes)
      : session_(session), options_(options), request_(std::move(request)), session_bytes_(session_bytes),
        url_(SplitUrl(request_.url)),
        what_((request_.probe ? "HEAD " : "GET ") + request_.name),
        trust_(url_.secure ? options.ca_bundle : ""),
        watch_(options.stall_ms, options.min_rate_bps,
               options.rate_limit ? options.rate_limit->BytesPerSecond() : 0) {}

  ~WinHttpFetch() override {
    watchdog_.Stop();
    resume_timer_.Stop();
    deadline_.Stop();
    CloseRequest();
    target_.reset();
  }
  WinHttpFetch(const WinHttpFetch&) = delete;
  WinHttpFetch& operator=(const WinHttpFetch&) = delete;

  void Start(std::function<void()> finished) override {
    on_finished_ = std::move(finished);
    watch_.Progress(Clock::now());
    Send();
    if (options_.stall_ms > 0) watchdog_.Start(watch_.IntervalMs(), [this] { Watch(); });
    if (request_.total_timeout_ms > 0)
      deadline_.Start(static_cast<unsigned>(request_.total_timeout_ms), [this] {
        Fail(FetchFailure{DownloadFailure::kCutOff,
                          "Operation timed out after " + SecondsText(request_.total_timeout_ms) + " (" + what_ + ")",
                          FetchCause::kTimedOut});
      });
  }
  bool Finished() const override { return finished_; }
  bool AwaitsReplay() const override { return phase_ == Phase::kAwaitingReplay; }
  void ReplayHeld() override;
  void Fail(FetchFailure failure) override {
    if (finished_) return;
    CloseRequest();
    failure_ = std::move(failure);
    Finish();
  }
  long Status() const override { return status_; }
  bool Began() const override { return target_opened_; }
  int64_t Received() const override { return target_opened_ ? request_.held + received_ : 0; }
  int64_t Total() const override { return total_; }
  const std::optional<FetchFailure>& Failure() const override { return failure_; }
  const std::optional<platform::FileIdentity>& File() const override { return file_; }
  bool Multiplexed() const override { return multiplexed_; }
  bool Connected() const override { return connected_; }

  // A notification WinHTTP posted, on the loop's thread.
  void OnEvent(const RequestEvent& event);

 private:
  enum class Phase { kAwaitingAnswer, kAwaitingReplay, kBody };

  // Opens the request's handles and sends it; a failure ends the fetch
  // (posted, so that Start never finishes it under its caller).
  void Send();
  // Lets go of the request's link and closes its handles; WinHTTP cancels
  // what is pending.
  void CloseRequest();
  void RequestFailed(DWORD error);
  // Whether the connection's certificate passes CAFILE's judgement (see
  // ExtraTrust, winhttp_trust.h): checked once the request went out and
  // again on the answer, whose connection a redirect may have changed,
  // before anything of it is used. Fails the fetch when not.
  bool Trusted();
  // The answer's status and headers are there: decide on them.
  void TakeHeaders();
  bool TakeAnswer();
  bool TakeRangesAnswer();
  void ReadNext();
  void OnRead(DWORD length);
  void Watch();
  void Finish();
  std::string QueryText(DWORD query) const;

  HINTERNET session_;
  const HttpOptions& options_;
  FetchRequest request_;
  std::atomic<int64_t>& session_bytes_;
  const UrlParts url_;
  const std::string what_;
  const ExtraTrust trust_;  // CAFILE's CAs, for https
  HINTERNET connect_ = nullptr;
  HINTERNET request_handle_ = nullptr;
  std::shared_ptr<RequestLink> link_;
  std::function<void()> on_finished_;
  Phase phase_ = Phase::kAwaitingAnswer;
  bool finished_ = false;
  bool target_opened_ = false;
  bool connected_ = false;
  bool multiplexed_ = false;
  long status_ = 0;
  int64_t content_length_ = -1;  // of the taken answer; -1 when it gives none
  int64_t total_ = 0;
  int64_t received_ = 0;  // bytes of this answer's body taken
  std::unique_ptr<DownloadTarget> target_;
  std::optional<FetchFailure> failure_;
  std::optional<platform::FileIdentity> file_;
  std::unique_ptr<RateLimiter::Reader> reader_;
  size_t paid_ = 0;  // granted by the rate limiter towards the read under way
  platform::Timer resume_timer_;
  platform::Timer watchdog_;
  platform::Timer deadline_;
  TransferWatch watch_;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  auto* holder = reinterpret_cast<std::shared_ptr<RequestLink>*>(context);
  if (holder == nullptr) return;
  RequestEvent event{status, 0, 0};
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      (*holder)->secure_flags |= *static_cast<DWORD*>(info);
      return;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      delete holder;  // WinHTTP's last word on this handle
      return;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      event.length = length;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      event.error = static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError;
      break;
    case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER:
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      break;
    default:
      return;
  }
  std::shared_ptr<RequestLink> link = *holder;
  link->loop.Post([link, event] {
    if (link->fetch != nullptr) link->fetch->OnEvent(event);
  });
}

void WinHttpFetch::Send() {
  const std::wstring verb = request_.probe ? L"HEAD" : L"GET";
  connect_ = WinHttpConnect(session_, platform::WideFromUtf8(url_.host).c_str(), url_.port, 0);
  if (connect_ != nullptr)
    request_handle_ = WinHttpOpenRequest(connect_, verb.c_str(), platform::WideFromUtf8(url_.path).c_str(), nullptr,
                                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         url_.secure ? WINHTTP_FLAG_SECURE : 0);
  link_ = std::make_shared<RequestLink>();
  link_->loop = platform::MessageLoopRef::Current();
  link_->fetch = this;
  link_->buffer.resize(kReadBytes);
  const auto post_failure = [this](DWORD error) {
    link_->loop.Post([link = link_, error] {
      if (link->fetch != nullptr) link->fetch->OnEvent({WINHTTP_CALLBACK_STATUS_REQUEST_ERROR, 0, error});
    });
  };
  if (request_handle_ == nullptr) return post_failure(GetLastError());
  auto* holder = new std::shared_ptr<RequestLink>(link_);
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(holder);
  if (!WinHttpSetOption(request_handle_, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
      WinHttpSetStatusCallback(request_handle_, &OnStatus, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0) ==
          WINHTTP_INVALID_STATUS_CALLBACK) {
    const DWORD error = GetLastError();
    WinHttpCloseHandle(request_handle_);  // no callback yet: the holder is still ours
    request_handle_ = nullptr;
    delete holder;
    return post_failure(error);
  }
  // At most 5 redirects, and never from https to http: WinHTTP's own
  // policy, set here so that no default of the system's changes it.
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  (void)WinHttpSetOption(request_handle_, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
  DWORD redirects = 5;
  (void)WinHttpSetOption(request_handle_, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);
  // Certificates are always checked, chain and host name, against the
  // system's store: WinHTTP's default, and no setting turns it off; with
  // CAFILE the chain may end at one of its CAs instead (Trusted).
  trust_.Relax(request_handle_);
  // Stalls are the watch's to judge (WinHTTP's own 30 s would override
  // StallTime); the connection's set-up is bounded as on Linux.
  const long connect_ms = options_.connect_timeout_ms > 0 ? options_.connect_timeout_ms : options_.stall_ms;
  (void)WinHttpSetTimeouts(request_handle_, static_cast<int>(connect_ms), static_cast<int>(connect_ms), 0, 0);
  std::wstring headers;
  if (request_.ranges != nullptr) {
    headers = L"Range: bytes=" + platform::WideFromUtf8(request_.ranges->HeaderValue()) + L"\r\n";
  } else if (request_.held > 0) {
    headers = L"Range: bytes=" + std::to_wstring(request_.held) + L"-\r\n";
  }
  if (!WinHttpSendRequest(request_handle_, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                          headers.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, context)) {
    post_failure(GetLastError());
  }
}

void WinHttpFetch::CloseRequest() {
  if (link_) link_->fetch = nullptr;
  link_.reset();
  if (request_handle_ != nullptr) WinHttpCloseHandle(request_handle_);
  if (connect_ != nullptr) WinHttpCloseHandle(connect_);
  request_handle_ = nullptr;
  connect_ = nullptr;
}

void WinHttpFetch::OnEvent(const RequestEvent& event) {
  if (finished_) return;
  watch_.Progress(Clock::now());
  switch (event.status) {
    case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER:
      connected_ = true;
      break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      if (!Trusted()) return;
      if (!WinHttpReceiveResponse(request_handle_, nullptr)) RequestFailed(GetLastError());
      break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      connected_ = true;
      if (Trusted()) TakeHeaders();
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      OnRead(event.length);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      RequestFailed(event.error);
      break;
    default:
      break;
  }
}

bool WinHttpFetch::Trusted() {
  const std::optional<std::string> refusal = trust_.Refusal(request_handle_);
  if (refusal) Fail(FetchFailure{DownloadFailure::kCutOff, "certificate not trusted: " + *refusal + " (" + what_ + ")"});
  return !refusal;
}

void WinHttpFetch::RequestFailed(DWORD error) {
  const uint32_t secure_flags = link_ ? link_->secure_flags.load() : 0;
  Fail(WinHttpFailure(error, secure_flags, url_.host, what_));
}

std::string WinHttpFetch::QueryText(DWORD query) const {
  DWORD bytes = 0;
  (void)WinHttpQueryHeaders(request_handle_, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                            WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return "";
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request_handle_, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                           WINHTTP_NO_HEADER_INDEX))
    return "";
  text.resize(bytes / sizeof(wchar_t));
  return platform::Utf8FromWide(text);
}

void WinHttpFetch::TakeHeaders() {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(request_handle_, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return RequestFailed(GetLastError());
  }
  status_ = static_cast<long>(status);
  DWORD protocols = 0;
  size = sizeof protocols;
  multiplexed_ = WinHttpQueryOption(request_handle_, WINHTTP_OPTION_HTTP_PROTOCOL_USED, &protocols, &size) &&
                 (protocols & WINHTTP_PROTOCOL_FLAG_HTTP2) != 0;
  const std::string length = QueryText(WINHTTP_QUERY_CONTENT_LENGTH);
  content_length_ = platform::DecimalField(length).value_or(-1);
  // A redirect left here is one WinHTTP would not follow: from https to
  // http, or past the fifth.
  if (status_ >= 300 && status_ < 400 && !QueryText(WINHTTP_QUERY_LOCATION).empty()) {
    return Fail(RedirectFailure(status_, what_));
  }
  if (request_.probe) {
    CloseRequest();
    return Finish();
  }
  bool go_on = false;
  try {
    go_on = request_.ranges != nullptr ? TakeRangesAnswer() : TakeAnswer();
  } catch (const EFOpenError& error) {  // the local file cannot be created
    failure_ = FetchFailure{DownloadFailure::kLocal, error.what()};
  }
  if (finished_ || (!go_on && !failure_)) return;  // started over, or ended
  if (failure_) {
    CloseRequest();  // also closes its connection, which a body not read would keep busy
    return Finish();
  }
  if (phase_ == Phase::kBody) ReadNext();
}

bool WinHttpFetch::TakeRangesAnswer() {
  failure_ = request_.ranges->Open(status_, QueryText(WINHTTP_QUERY_STATUS_TEXT), QueryText(WINHTTP_QUERY_CONTENT_TYPE),
                                   QueryText(WINHTTP_QUERY_CONTENT_RANGE), "GET " + request_.name);
  if (failure_) return false;
  total_ = std::max<int64_t>(content_length_, 0);
  target_opened_ = true;
  phase_ = Phase::kBody;
  watch_.BodyBegins(Clock::now());
  if (options_.rate_limit) reader_ = std::make_unique<RateLimiter::Reader>(*options_.rate_limit);
  return true;
}

bool WinHttpFetch::TakeAnswer() {
  const FileAnswerVerdict verdict = JudgeFileAnswer(status_, QueryText(WINHTTP_QUERY_STATUS_TEXT),
                                                    QueryText(WINHTTP_QUERY_CONTENT_RANGE), request_.held,
                                                    "GET " + request_.name);
  if (verdict.action == FileAnswerVerdict::Action::kStartOver) {
    // The held bytes are no beginning of this file: the same request
    // again, for the whole of it.
    CloseRequest();
    request_.held = 0;
    status_ = 0;
    Send();
    return false;
  }
  if (verdict.action == FileAnswerVerdict::Action::kFail) {
    failure_ = verdict.failure;
    return false;
  }
  const int64_t held = verdict.held;
  request_.held = held;
  total_ = AnswerTotal(held, content_length_, request_.listed_size);
  target_ = std::make_unique<DownloadTarget>(request_.local_path, DownloadBound(request_.listed_size), held,
                                             request_.sink);
  target_opened_ = true;
  phase_ = held > 0 && request_.sink ? Phase::kAwaitingReplay : Phase::kBody;
  watch_.BodyBegins(Clock::now());
  if (options_.rate_limit) reader_ = std::make_unique<RateLimiter::Reader>(*options_.rate_limit);
  return true;
}

void WinHttpFetch::ReadNext() {
  size_t wanted = kReadBytes;
  if (reader_) {
    if (paid_ == 0) {
      const RateLimiter::Grant grant = reader_->Take(wanted);
      if (grant.bytes == 0) {
        const auto wait_ms = std::max<int64_t>(1, (grant.wait.count() + 999) / 1000);
        resume_timer_.Start(static_cast<unsigned>(wait_ms), [this] {
          resume_timer_.Stop();
          ReadNext();
        });
        return;
      }
      paid_ = grant.bytes;
    }
    wanted = std::min(wanted, paid_);
  }
  if (!WinHttpReadData(request_handle_, link_->buffer.data(), static_cast<DWORD>(wanted), nullptr))
    RequestFailed(GetLastError());
}

void WinHttpFetch::OnRead(DWORD length) {
  if (length == 0) {
    if (request_.ranges != nullptr) {
      if (std::optional<std::string> fault = request_.ranges->Finish())
        failure_ = FetchFailure{DownloadFailure::kRefused, std::move(*fault)};
    } else if (content_length_ >= 0 && received_ < content_length_) {
      failure_ = FetchFailure{DownloadFailure::kCutOff, "transfer closed with " +
                                                            std::to_string(content_length_ - received_) +
                                                            " bytes remaining to read (" + what_ + ")"};
    }
    CloseRequest();
    return Finish();
  }
  paid_ -= std::min<size_t>(paid_, length);
  const char* data = link_->buffer.data();
  size_t taken = length;
  try {
    if (request_.ranges != nullptr) {
      if (std::optional<std::string> fault = request_.ranges->Take(std::string_view(data, length)))
        failure_ = FetchFailure{DownloadFailure::kRefused, std::move(*fault)};
    } else {
      taken = KeepInTarget(*target_, data, length, request_.name, request_.listed_size, failure_);
    }
  } catch (const EFOpenError& error) {  // the local file cannot be created
    failure_ = FetchFailure{DownloadFailure::kLocal, error.what()};
  } catch (const EInOutError& error) {  // or written
    failure_ = FetchFailure{DownloadFailure::kLocal, error.what()};
  }
  received_ += static_cast<int64_t>(taken);
  watch_.Counted(static_cast<int64_t>(taken));
  session_bytes_.fetch_add(static_cast<int64_t>(taken), std::memory_order_relaxed);
  if (failure_) {
    CloseRequest();
    return Finish();
  }
  ReadNext();
}

void WinHttpFetch::ReplayHeld() {
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
  if (!finished_) ReadNext();
}

void WinHttpFetch::Watch() {
  const auto now = Clock::now();
  if (phase_ == Phase::kAwaitingReplay) watch_.Progress(now);
  if (std::optional<FetchFailure> failure = watch_.Check(now, phase_ == Phase::kBody, "GET " + request_.name))
    Fail(std::move(*failure));
}

void WinHttpFetch::Finish() {
  watchdog_.Stop();
  resume_timer_.Stop();
  deadline_.Stop();
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

class WinHttpClient : public HttpClient {
 public:
  explicit WinHttpClient(long connection_limit) {
    // Proxies are WinHTTP's default: the system's WinHTTP proxy setting.
    session_ = WinHttpOpen(L"updater", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (session_ == nullptr) throw Exception("WinHTTP could not open a session");
    DWORD connections = static_cast<DWORD>(std::max<long>(connection_limit, 1));
    (void)WinHttpSetOption(session_, WINHTTP_OPTION_MAX_CONNS_PER_SERVER, &connections, sizeof connections);
    (void)WinHttpSetOption(session_, WINHTTP_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections, sizeof connections);
    // HTTP/2 where the system offers it (Windows 10 on); HTTP/1.1 otherwise.
    DWORD protocols = WINHTTP_PROTOCOL_FLAG_HTTP2;
    (void)WinHttpSetOption(session_, WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL, &protocols, sizeof protocols);
  }
  ~WinHttpClient() override { WinHttpCloseHandle(session_); }
  WinHttpClient(const WinHttpClient&) = delete;
  WinHttpClient& operator=(const WinHttpClient&) = delete;

  std::unique_ptr<HttpFetch> NewFetch(const HttpOptions& options, FetchRequest request,
                                      std::atomic<int64_t>& session_bytes) override {
    return std::make_unique<WinHttpFetch>(session_, options, std::move(request), session_bytes);
  }

 private:
  HINTERNET session_;
};

}  // namespace

std::unique_ptr<HttpClient> NewHttpClient(long connection_limit) {
  return std::make_unique<WinHttpClient>(connection_limit);
}

std::string TrustedCaBundle(const std::string& ca_file) {
  return ca_file.empty() ? "" : platform::ReadWholeFile(ca_file);
}
