// One HTTP request of the transport, as both systems' HTTP libraries make
// it (libcurl's multi interface on Linux, curl_fetch.h; WinHTTP's
// asynchronous mode on Windows, winhttp_fetch.h): a probe of the server
// folder (HEAD), a GET of a file into a DownloadTarget, opened only once a
// 2xx answer is known, so that a refusal leaves the local file as it was,
// or a GET of ranges of a file into their RangeAnswer. It progresses while
// the thread's message loop is pumped; its owner waits for Finished() and
// reads the outcome. Everything here stays on the thread that made it.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http/fetch_rules.h"
#include "transport/download_target.h"

class RangeAnswer;

// How every request of one transport reaches its server.
struct HttpOptions {
  std::string scheme;     // "http" or "https": where redirects may lead
  std::string ca_bundle;  // PEM of the CAs to trust (TrustedCaBundle); "" = the system's store
  int32_t stall_ms = 0;   // no byte for this long fails a request; 0 = no bound
  int32_t min_rate_bps = 0;
  std::shared_ptr<RateLimiter> rate_limit;
  long connect_timeout_ms = 0;  // 0 = stall_ms
};

struct FetchRequest {
  std::string url;
  std::string name;        // the remote name, for texts
  bool probe = false;      // HEAD: no body, no local file
  std::string local_path;  // a GET's file
  int64_t listed_size = -1;
  int64_t held = 0;  // bytes local_path holds to continue after ("Range: bytes=held-")
  ByteSink sink;     // must not pump messages: it runs inside the library's callbacks
  long total_timeout_ms = 0;  // a bound on the whole request; 0 = none
  // A GET of ranges (no local file): asks for its spans, and its answer
  // decides and takes the body. Outlives the fetch.
  RangeAnswer* ranges = nullptr;
};

class HttpFetch {
 public:
  virtual ~HttpFetch() = default;

  // Sends the request. `finished` (may be empty) runs once it has ended.
  virtual void Start(std::function<void()> finished = {}) = 0;
  virtual bool Finished() const = 0;
  // A continued file's answer came (206 from the held bytes on), and the
  // body waits until the held bytes have reached the sink.
  virtual bool AwaitsReplay() const = 0;
  // Hands the sink the held bytes, then lets the body flow. Pumps
  // messages, so the owner's wait calls it, never a callback.
  virtual void ReplayHeld() = 0;
  // Ends the request now as failed with `failure`; nothing once finished.
  virtual void Fail(FetchFailure failure) = 0;

  // The answer's status (0 before one came); whether a 2xx answer began
  // the file (TransferStarted), the bytes the file holds so far (held ones
  // included) and its expected size (0 when unknown).
  virtual long Status() const = 0;
  virtual bool Began() const = 0;
  virtual int64_t Received() const = 0;
  virtual int64_t Total() const = 0;
  // Once finished: the failure, or nullopt and the file written.
  virtual const std::optional<FetchFailure>& Failure() const = 0;
  virtual const std::optional<platform::FileIdentity>& File() const = 0;
  // The answer came over HTTP/2, whose streams share one connection.
  virtual bool Multiplexed() const = 0;
  // A connection to the server was made.
  virtual bool Connected() const = 0;
};

// The requests of one transport and the connections they share.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // A request on this client; `options` and `session_bytes` (which counts
  // what arrives over the network) outlive it. Throws Exception when the
  // library makes no more requests.
  virtual std::unique_ptr<HttpFetch> NewFetch(const HttpOptions& options, FetchRequest request,
                                              std::atomic<int64_t>& session_bytes) = 0;
};

// This system's client. HTTP/2 streams share one connection; HTTP/1.1
// opens up to `connection_limit` keep-alive connections to the server.
std::unique_ptr<HttpClient> NewHttpClient(long connection_limit);

// What HttpOptions::ca_bundle holds for a CAFILE setting: the CAs that this
// system's client is handed beside (never instead of) the system's store.
// "" without one. Throws EFOpenError when ca_file cannot be read.
std::string TrustedCaBundle(const std::string& ca_file);
