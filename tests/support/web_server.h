// nginx from Debian for tests and benchmarks over HTTP(S): started in the
// foreground without root on a free port of 127.0.0.1 (or ::1), with a
// configuration, logs and temporary folders of its own, serving a folder
// read-only; stopped by Stop() or the destructor.
//
//   auto server = test_support::WebServer::Start(root, {.protocol = test_support::WebProtocol::kHttps});
//   login from server->Url(), trusting server->CaFile() ...
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/ftp_servers.h"
#include "support/test_certificates.h"
#include "support/update_server.h"

namespace test_support {

enum class WebProtocol { kHttp, kHttps };

struct WebServerOptions {
  WebProtocol protocol = WebProtocol::kHttps;
  // https only: HTTP/2 offered by ALPN beside HTTP/1.1. Plain http is
  // served as HTTP/1.1 alone, as the updater asks for it.
  bool http2 = true;
  // https only: the certificate the server presents (test_certificates.h).
  CertificateKind certificate = CertificateKind::kTrusted;
  // Range requests answered with 200 and the whole file ("max_ranges 0").
  bool ignore_ranges = false;
  // Bytes per second of each response ("limit_rate"); 0: no cap.
  int64_t rate_limit_bps = 0;
  // nginx lines added to the server block, such as redirects:
  // "location /moved/ { return 301 https://127.0.0.1:PORT/; }".
  std::string extra_lines{};
};

// One request as nginx's access log notes it.
struct WebRequest {
  std::string method;  // "GET", "HEAD", ...
  std::string path;    // relative to the served folder, URL-unescaped, without the query
  int status = 0;      // 200, 206, 404, ...
  int64_t body_bytes = 0;  // of the response's body, sent before it ended
};

// "http", "https" or "https_h1" (HTTP/1.1 alone), for test names and messages.
std::string WebServerName(const WebServerOptions& options);

class WebServer : public UpdateServer {
 public:
  // Starts nginx on root_dir (which must exist) and waits until it takes
  // connections on `loopback`. Throws std::runtime_error with nginx's log
  // when it does not come up within 10 s.
  static std::unique_ptr<WebServer> Start(const std::string& root_dir, const WebServerOptions& options = {},
                                          Loopback loopback = Loopback::kIpv4);

  ~WebServer() override;
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  int port() const { return port_; }
  // Where it listens: "127.0.0.1" or "::1".
  const char* host() const { return LoopbackHost(loopback_); }
  // The served folder's URL: "https://127.0.0.1:PORT/", "http://[::1]:PORT/".
  std::string Url() const;
  const WebServerOptions& options() const { return options_; }

  // The URL.
  std::string Name() const override { return Url(); }
  std::string LineFields(const std::string& user) const override;
  // The test CA for https (whichever certificate the server presents), "" for http.
  std::string CaFile() const override;
  std::string MissingFileReply() const override { return "404"; }
  // Every request so far, in the order their responses ended: nginx
  // writes a request's line when its response ends, whole or cut off, so
  // wait for the requests a test expects.
  std::vector<WebRequest> Requests() const;
  // The paths of the GET requests of Requests(), whatever their status;
  // not the requests for a folder (ending in '/').
  std::vector<std::string> Downloads() const override;
  void Stop() override;

 private:
  WebServer(const WebServerOptions& options, int port, std::string work_dir, Loopback loopback)
      : options_(options), port_(port), work_dir_(std::move(work_dir)), loopback_(loopback) {}

  WebServerOptions options_;
  int port_;
  std::string work_dir_;  // configuration, logs, nginx's temporary folders
  Loopback loopback_;
  pid_t pid_ = -1;
};

}  // namespace test_support
